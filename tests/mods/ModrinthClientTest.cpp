#include "mods/ModrinthClient.h"

#include "launch/HttpClient.h"
#include "mods/ModIcon.h"
#include "mods/ModrinthReplies.h"
#include "mods/ZipUtils.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <webp/encode.h>
namespace qbk {
namespace {
enum class Icon { None, Png, Webp, Garbage };
const QColor kGreen{40, 160, 90};
// A one-colour square: PNG through Qt, WebP through libwebp (Qt may lack its plugin).
std::string image(Icon icon) {
    QImage picture(48, 48, QImage::Format_RGBA8888);
    picture.fill(kGreen);
    QByteArray png;
    QBuffer buffer(&png);
    if (icon != Icon::Webp)
        return icon == Icon::Png && picture.save(&buffer, "PNG") ? png.toStdString() : "bad";
    uint8_t* out = nullptr;
    const size_t size = WebPEncodeLosslessRGBA(picture.constBits(), 48, 48, 48 * 4, &out);
    std::string webp(reinterpret_cast<const char*>(out), size);
    WebPFree(out);
    return webp;
}
QJsonArray realReplies(const char* name) {
    const std::string text = test::readWholeFile(std::string(QBK_TESTDATA_DIR "/modrinth/") + name);
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).array();
}
std::string compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}
// A loopback Modrinth answering with the real project and version replies of the test data,
// under the hashes of the test's own jars; it counts the version look-ups.
class ModrinthClientTest : public ::testing::Test {
protected:
    ModrinthClientTest() {
        for (const QJsonValue& project : realReplies("projects-6.json"))
            projects[project["slug"].toString().toStdString()] = project.toObject();
        server.get("/(v2|icons)/.*", [this](const auto& request, auto& response, const auto&) {
            std::lock_guard lock(mutex);
            const bool lookup = request.path.rfind("/v2/version_file/", 0) == 0;
            lookups += lookup;
            const auto reply = replies.find(request.path);
            if (rateLimited > 0 && rateLimited--) {
                response.status = 429;
                response.set_header("X-Ratelimit-Reset", "1");
            } else if (reply != replies.end() &&
                       (!lookup || request.get_param_value("algorithm") == "sha1")) {
                response.set_content(reply->second, "application/json");
            } else {
                response.status = 404;
            }
        });
    }
    // Writes the jar and makes its SHA-1 a version of the real project slug.
    void addMod(const char* jar, const std::string& content, const std::string& slug,
                const char* version, Icon icon) {
        test::writeWholeFile(dir / "mods" / jar, content);
        std::lock_guard lock(mutex);
        QJsonObject project = projects.at(slug), reply = versionReply;
        const std::string id = project["id"].toString().toStdString();
        project["icon_url"] =
            icon == Icon::None ? QJsonValue() : QString::fromStdString(server.url("/icons/" + id));
        replies["/v2/project/" + id] = compact(project);
        replies["/icons/" + id] = image(icon);
        reply["project_id"] = QString::fromStdString(id);
        reply["version_number"] = version;
        replies["/v2/version_file/" + sha1FileHex(dir / "mods" / jar)] = compact(reply);
    }
    ModrinthClient::Config config() const {
        return {.apiBase = QString::fromStdString(server.url("/v2")),
                .siteBase = "https://modrinth.example",
                .cacheFile = QString::fromStdString((dir / "modcache.json").string()),
                .userAgent = "Quellbrook-Launcher/1.0 (test)",
                .transferTimeout = std::chrono::seconds(5)};
    }
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
    // The titles each modFound reported, sorted.
    static QString titles(const QSignalSpy& spy) {
        QStringList list;
        for (const auto& args : spy)
            list << args[0].value<ModInfo>().title;
        list.sort();
        return list.join(", ");
    }
    test::TempDir dir;
    std::mutex mutex;
    std::map<std::string, QJsonObject> projects;
    const QJsonObject versionReply = realReplies("versions-lithium.json").first().toObject();
    std::map<std::string, std::string> replies; // by path
    std::atomic<int> lookups{0};
    int rateLimited = 0;         // under mutex
    test::TestHttpServer server; // last: stops before what its handlers read
};
// The next run asks only about changed (size or time) or unknown jars, showing changed ones by
// file name until the reply; a damaged cache is rewritten.
TEST_F(ModrinthClientTest, IdentifiesKnownJarsAndNextTimeAsksOnlyAboutChangedOrUnknownOnes) {
    addMod("lithium.jar", "lithium", "lithium", "0.13.0", Icon::Png);
    addMod("sodium.jar", "sodium", "sodium", "", Icon::Webp);
    addMod("iris.jar", "iris", "iris", "1.8", Icon::Garbage);
    addMod("menu.jar", "menu", "modmenu", "19", Icon::None);
    test::writeWholeFile(dir / "mods/private.jar", "not on modrinth");
    test::writeWholeFile(dir / "mods/notes.txt", "not a jar");
    rateLimited = 1; // waited out: every known jar is still identified
    {
        ModrinthClient client(config(), nullptr);
        QSignalSpy found(&client, &ModrinthClient::modFound);
        ASSERT_EQ(scan(client), 5);
        EXPECT_EQ(titles(found), "iris.jar, lithium.jar, menu.jar, private.jar, sodium.jar");
        const ModInfo lithium = client.info("lithium.jar");
        EXPECT_EQ(lithium.title + " " + lithium.version + " " + lithium.pageUrl,
                  "Lithium 0.13.0 https://modrinth.example/mod/lithium");
        EXPECT_TRUE(lithium.resolved && client.info("sodium.jar").version.isEmpty());
        EXPECT_EQ(lithium.icon.size(), QSize(32, 32));
        EXPECT_EQ(client.info("sodium.jar").icon.toImage().pixelColor(16, 16), kGreen);
        EXPECT_TRUE(client.info("iris.jar").icon.isNull());
        EXPECT_FALSE(client.info("private.jar").resolved);
    }
    EXPECT_EQ(cached("lithium.jar")["sha1"].toString().toStdString(),
              sha1FileHex(dir / "mods/lithium.jar"));
    addMod("sodium.jar", "sodium, newer", "sodium", "0.6.1", Icon::None);
    addMod("menu.jar", "MENU", "modmenu", "20", Icon::None);      // same size
    test::writeWholeFile(dir / "mods/iris.jar", "iris, rebuilt"); // unknown to Modrinth now
    const int before = lookups;
    ModrinthClient next(config(), nullptr);
    QSignalSpy found(&next, &ModrinthClient::modFound);
    ASSERT_EQ(scan(next), 5);
    EXPECT_EQ(titles(found), "Lithium, iris.jar, menu.jar, private.jar, sodium.jar");
    EXPECT_EQ(lookups - before, 4); // all but lithium
    EXPECT_EQ(next.info("sodium.jar").version + next.info("menu.jar").version, "0.6.120");
    // The rebuilt jar keeps nothing of its old project and is asked about again.
    EXPECT_FALSE(next.info("iris.jar").resolved || next.info("iris.jar").title != "iris.jar");
    ASSERT_EQ(scan(next), 5);
    EXPECT_EQ(lookups - before, 6); // iris and private again
    EXPECT_FALSE(next.info("lithium.jar").icon.isNull());
    test::writeWholeFile(dir / "modcache.json", "{\"lithium.jar\": {\"title\": tru");
    ModrinthClient third(config(), nullptr);
    ASSERT_EQ(scan(third), 5);
    EXPECT_EQ(cached("lithium.jar")["title"].toString(), "Lithium");
}
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
// Modrinth's icons come over https; a version that names no project ends its jar's lookup.
TEST_F(ModrinthClientTest, HttpsIconsArriveAndAVersionWithoutItsProjectEndsItsLookup) {
    const test::TestCertificates certificates(dir.path());
    test::TestHttpServer icons(certificates);
    HttpClient::setExtraCaBundle(certificates.caFile());
    icons.get("/icon", [](const auto&, auto& response, const auto&) {
        response.set_content(image(Icon::Png), "image/png");
    });
    addMod("shown.jar", "shown", "sodium", "2", Icon::None);
    test::writeWholeFile(dir / "mods/orphan.jar", "orphan");
    {
        std::lock_guard lock(mutex);
        replies["/v2/version_file/" + sha1FileHex(dir / "mods/orphan.jar")] =
            R"({"version_number": "1"})";
        replies["/v2/project/" + projects.at("sodium")["id"].toString().toStdString()] =
            R"({"title": "Shown", "icon_url": ")" + icons.url("/icon") + "\"}";
    }
    ModrinthClient client(config(), nullptr);
    ASSERT_EQ(scan(client), 2);
    EXPECT_FALSE(client.info("orphan.jar").resolved);
    EXPECT_EQ(client.info("shown.jar").icon.toImage().pixelColor(4, 4), kGreen);
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
