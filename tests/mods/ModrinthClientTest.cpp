#include "mods/ModrinthClient.h"

#include "launch/HttpClient.h"
#include "mods/ModIcon.h"
#include "mods/ModrinthReplies.h"
#include "tests/mods/ModrinthFixture.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
namespace qbk {
namespace {
using Icon = test::ModrinthFixture::Icon;
class ModrinthClientTest : public ::testing::Test {
protected:
    QJsonObject cached(const char* name) const {
        const auto text = test::readWholeFile(dir / "modcache.json");
        return QJsonDocument::fromJson(QByteArray::fromStdString(text))[name].toObject();
    }
    // Runs one scan to its end; the scanFinished total, or -1 on a time-out.
    int scan(ModrinthClient& client) {
        QSignalSpy finished(&client, &ModrinthClient::scanFinished);
        client.scanFolder(QString::fromStdString((dir / "mods").string()));
        return finished.isEmpty() && !finished.wait(10000) ? -1 : finished[0][0].toInt();
    }
    // The titles (or file names) a spy reported, sorted.
    static QString names(const QSignalSpy& spy, bool titles) {
        QStringList list;
        for (const auto& args : spy)
            list << (titles ? args[0].value<ModInfo>().title : args[0].value<ModInfo>().fileName);
        list.sort();
        return list.join(", ");
    }
    test::TempDir dir;
    test::ModrinthFixture modrinth;
};
// The next run asks only about changed (size or time) or unknown jars, showing changed ones by
// file name until the reply; a damaged cache is rewritten.
TEST_F(ModrinthClientTest, IdentifiesKnownJarsAndNextTimeAsksOnlyAboutChangedOrUnknownOnes) {
    modrinth.addMod(dir / "mods/lithium.jar", "lithium", "lithium", "0.13.0", Icon::Png);
    modrinth.addMod(dir / "mods/sodium.jar", "sodium", "sodium", "", Icon::Webp);
    modrinth.addMod(dir / "mods/iris.jar", "iris", "iris", "1.8", Icon::Garbage);
    modrinth.addMod(dir / "mods/menu.jar", "menu", "modmenu", "19", Icon::None);
    test::writeWholeFile(dir / "mods/private.jar", "not on modrinth");
    test::writeWholeFile(dir / "mods/notes.txt", "not a jar");
    modrinth.refuseWithRateLimit(1); // waited out: every known jar is still identified
    {
        ModrinthClient client(modrinth.config(dir.path()), nullptr);
        QSignalSpy found(&client, &ModrinthClient::modFound);
        QSignalSpy updated(&client, &ModrinthClient::modUpdated);
        ASSERT_EQ(scan(client), 5);
        EXPECT_EQ(names(found, true), "iris.jar, lithium.jar, menu.jar, private.jar, sodium.jar");
        // Project and icon for lithium and sodium; the project alone for the others.
        EXPECT_EQ(names(updated, false),
                  "iris.jar, lithium.jar, lithium.jar, menu.jar, sodium.jar, sodium.jar");
        const ModInfo lithium = client.info("lithium.jar");
        EXPECT_EQ(lithium.title + " " + lithium.version + " " + lithium.pageUrl,
                  "Lithium 0.13.0 https://modrinth.example/mod/lithium");
        EXPECT_TRUE(lithium.resolved && client.info("sodium.jar").version.isEmpty());
        EXPECT_EQ(lithium.icon.size(), QSize(32, 32));
        EXPECT_EQ(client.info("sodium.jar").icon.toImage().pixelColor(16, 16),
                  test::ModrinthFixture::kGreen);
        EXPECT_TRUE(client.info("iris.jar").icon.isNull());
        EXPECT_FALSE(client.info("private.jar").resolved);
        EXPECT_EQ(client.info("private.jar").title, "private.jar");
    }
    EXPECT_EQ(cached("lithium.jar")["sha1"].toString().toStdString(),
              sha1FileHex(dir / "mods/lithium.jar"));
    EXPECT_EQ(cached("lithium.jar")["size"].toInteger(), 7);
    modrinth.addMod(dir / "mods/sodium.jar", "sodium, newer", "sodium", "0.6.1", Icon::None);
    modrinth.addMod(dir / "mods/menu.jar", "MENU", "modmenu", "20", Icon::None); // same size
    test::writeWholeFile(dir / "mods/iris.jar", "iris, rebuilt"); // unknown to Modrinth now
    const std::size_t before = modrinth.requests("/v2/version_file/");
    ModrinthClient next(modrinth.config(dir.path()), nullptr);
    QSignalSpy found(&next, &ModrinthClient::modFound);
    ASSERT_EQ(scan(next), 5);
    EXPECT_EQ(names(found, true), "Lithium, iris.jar, menu.jar, private.jar, sodium.jar");
    EXPECT_EQ(modrinth.requests("/v2/version_file/") - before, 4u); // all but lithium
    EXPECT_EQ(next.info("sodium.jar").version + next.info("menu.jar").version, "0.6.120");
    // The rebuilt jar keeps nothing of its old project and is asked about again.
    EXPECT_FALSE(next.info("iris.jar").resolved || next.info("iris.jar").title != "iris.jar");
    ASSERT_EQ(scan(next), 5);
    EXPECT_EQ(modrinth.requests("/v2/version_file/") - before, 6u); // iris and private again
    EXPECT_FALSE(next.info("lithium.jar").icon.isNull());
    test::writeWholeFile(dir / "modcache.json", "{\"lithium.jar\": {\"title\": tru");
    ModrinthClient third(modrinth.config(dir.path()), nullptr);
    ASSERT_EQ(scan(third), 5);
    EXPECT_EQ(cached("lithium.jar")["title"].toString(), "Lithium");
}
// Icons go out with the API's User-Agent; a fetch from a host that never answers ends when a
// new scan begins or its client goes, so it holds up neither.
TEST_F(ModrinthClientTest, IconFetchesCarryTheUserAgentAndEndWithTheirScanOrClient) {
    std::atomic<int> asked{0};
    std::string agent; // written before asked counts it
    modrinth.server().get("/icons/.*", [&](const auto& request, auto& response, const auto&) {
        agent = request.get_header_value("User-Agent");
        ++asked;
        response.set_redirect(modrinth.server().url("/stall/60000"));
    });
    const auto fetching = [&](ModrinthClient& client, const char* folder, int count) {
        client.scanFolder(QString::fromStdString((dir / folder).string()));
        for (int i = 0; i < 1000 && asked < count; ++i)
            QTest::qWait(10);
        return asked == count;
    };
    modrinth.addMod(dir / "mods/lithium.jar", "lithium", "lithium", "0.13.0", Icon::Png);
    auto client = std::make_unique<ModrinthClient>(modrinth.config(dir.path()), nullptr);
    ASSERT_TRUE(fetching(*client, "mods", 1) && fetching(*client, "none", 1)); // no jars there
    EXPECT_TRUE(ModrinthClient::finishIconFetches(std::chrono::seconds(2)));
    ASSERT_TRUE(fetching(*client, "mods", 2)); // known now: the icon alone is asked for
    client.reset();
    EXPECT_TRUE(ModrinthClient::finishIconFetches(std::chrono::seconds(2)));
    EXPECT_EQ(agent, "Quellbrook-Launcher/1.0 (test)");
}
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
// Modrinth's icons come over https; a version that names no project ends its jar's lookup.
TEST_F(ModrinthClientTest, HttpsIconsArriveAndAVersionWithoutItsProjectEndsItsLookup) {
    const test::TestCertificates certificates(dir.path());
    test::TestHttpServer icons(certificates), api;
    HttpClient::setExtraCaBundle(certificates.caFile());
    icons.get("/icon", [](const auto&, auto& response, const auto&) {
        response.set_content(test::ModrinthFixture::image(Icon::Png), "image/png");
    });
    test::writeWholeFile(dir / "mods/orphan.jar", "orphan");
    test::writeWholeFile(dir / "mods/shown.jar", "shown");
    const std::string orphan = "/v2/version_file/" + sha1FileHex(dir / "mods/orphan.jar");
    const std::string project = R"({"title": "Shown", "icon_url": ")" + icons.url("/icon") + "\"}";
    api.get("/v2/.*", [&](const auto& request, auto& response, const auto&) {
        response.set_content(request.path == orphan ? R"({"version_number": "1"})"
                             : request.path.rfind("/v2/project/", 0) == 0
                                 ? project
                                 : R"({"project_id": "p", "version_number": "2"})",
                             "application/json");
    });
    auto config = modrinth.config(dir.path());
    config.apiBase = QString::fromStdString(api.url("/v2"));
    ModrinthClient client(config, nullptr);
    ASSERT_EQ(scan(client), 2);
    EXPECT_FALSE(client.info("orphan.jar").resolved);
    EXPECT_EQ(client.info("shown.jar").icon.toImage().pixelColor(4, 4),
              test::ModrinthFixture::kGreen);
}
#endif
// A WebP is refused past 4096 pixels on a side, before its pixels are allocated.
TEST(ModIconTest, AWebpOfMoreThan4096PixelsOnASideIsRefused) {
    for (const auto& [width, height] : {std::pair{4096, 1}, {4097, 1}, {1, 4096}, {1, 4097}}) {
        const std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4, 200);
        uint8_t* out = nullptr;
        const size_t size = WebPEncodeLosslessRGBA(pixels.data(), width, height, width * 4, &out);
        const QImage icon = decodeModIcon(QByteArray(reinterpret_cast<const char*>(out), size));
        WebPFree(out);
        EXPECT_EQ(icon.size(), width + height > 4097 ? QSize(0, 0) : QSize(width, height)) << width;
    }
}
TEST(ModrinthRepliesTest, AHostileSlugCannotMoveThePageOffTheSite) {
    ModInfo info;
    readModrinthProject(R"({"title":"Lithium","slug":"../../evil.example/x?y#z"})",
                        "https://modrinth.example", info);
    EXPECT_EQ(info.pageUrl, "https://modrinth.example/mod/..%2F..%2Fevil.example%2Fx%3Fy%23z");
    EXPECT_TRUE(info.resolved);
}
} // namespace
} // namespace qbk
