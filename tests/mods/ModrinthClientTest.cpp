#include "mods/ModrinthClient.h"

#include "mods/ModrinthReplies.h"
#include "tests/mods/ModrinthFixture.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using Icon = test::ModrinthFixture::Icon;

class ModrinthClientTest : public ::testing::Test {
protected:
    QString mods() const { return QString::fromStdString((dir / "mods").string()); }
    QJsonObject cached(const char* name) const {
        const auto text = test::readWholeFile(dir / "modcache.json");
        return QJsonDocument::fromJson(QByteArray::fromStdString(text))[name].toObject();
    }
    // Runs one scan to its end; the scanFinished total, or -1 on a time-out.
    int scan(ModrinthClient& client, int waitMs = 10000) {
        QSignalSpy finished(&client, &ModrinthClient::scanFinished);
        client.scanFolder(mods());
        return finished.isEmpty() && !finished.wait(waitMs) ? -1 : finished[0][0].toInt();
    }
    static QStringList names(const QSignalSpy& spy, bool titles = false) {
        QStringList list;
        for (const auto& args : spy)
            list << (titles ? args[0].value<ModInfo>().title : args[0].value<ModInfo>().fileName);
        return list;
    }

    test::TempDir dir;
    test::ModrinthFixture modrinth;
};

TEST_F(ModrinthClientTest, IdentifiesKnownJarsAndNextTimeAsksOnlyAboutChangedOrUnknownOnes) {
    modrinth.addMod(dir / "mods/lithium.jar", "lithium", "lithium", "0.13.0", Icon::Png);
    modrinth.addMod(dir / "mods/sodium.jar", "sodium", "sodium", "", Icon::Webp);
    modrinth.addMod(dir / "mods/iris.jar", "iris", "iris", "1.8", Icon::Garbage);
    test::writeWholeFile(dir / "mods/private.jar", "not on modrinth");
    test::writeWholeFile(dir / "mods/notes.txt", "not a jar");
    {
        ModrinthClient client(modrinth.config(dir.path()), nullptr);
        QSignalSpy found(&client, &ModrinthClient::modFound);
        QSignalSpy updated(&client, &ModrinthClient::modUpdated);
        ASSERT_EQ(scan(client), 4);
        EXPECT_EQ(names(found, true),
                  (QStringList{"iris.jar", "lithium.jar", "private.jar", "sodium.jar"}));
        // Project and icon for lithium and sodium; the project alone for iris's broken icon.
        QStringList reported = names(updated);
        reported.sort();
        EXPECT_EQ(reported, (QStringList{"iris.jar", "lithium.jar", "lithium.jar", "sodium.jar",
                                         "sodium.jar"}));
        const ModInfo lithium = client.info("lithium.jar");
        EXPECT_TRUE(lithium.resolved);
        EXPECT_EQ(lithium.title + " " + lithium.version, "Lithium 0.13.0");
        EXPECT_EQ(lithium.pageUrl, "https://modrinth.example/mod/lithium");
        EXPECT_EQ(lithium.icon.size(), QSize(32, 32));
        const QImage webp = client.info("sodium.jar").icon.toImage();
        EXPECT_EQ(webp.pixelColor(16, 16), test::ModrinthFixture::kGreen);
        EXPECT_TRUE(client.info("sodium.jar").version.isEmpty());
        EXPECT_TRUE(client.info("iris.jar").icon.isNull());
        EXPECT_FALSE(client.info("private.jar").resolved);
        EXPECT_EQ(client.info("private.jar").title, "private.jar");
    }
    EXPECT_EQ(cached("lithium.jar")["title"].toString(), "Lithium");
    EXPECT_EQ(cached("lithium.jar")["sha1"].toString().toStdString(),
              sha1FileHex(dir / "mods/lithium.jar"));
    EXPECT_EQ(cached("lithium.jar")["size"].toInteger(), 7);
    EXPECT_FALSE(cached("private.jar")["resolved"].toBool());

    // sodium.jar becomes another sodium release: its old record shows until the lookup ends.
    modrinth.addMod(dir / "mods/sodium.jar", "sodium, newer", "sodium", "0.6.1", Icon::None);
    const std::size_t before = modrinth.requests("/v2/version_file/");
    ModrinthClient next(modrinth.config(dir.path()), nullptr);
    QSignalSpy found(&next, &ModrinthClient::modFound);
    ASSERT_EQ(scan(next), 4);
    EXPECT_EQ(names(found, true),
              (QStringList{"Iris Shaders", "Lithium", "private.jar", "Sodium"}));
    EXPECT_EQ(modrinth.requests("/v2/version_file/") - before, 2u); // sodium and private
    EXPECT_EQ(next.info("sodium.jar").version, "0.6.1");
    EXPECT_FALSE(next.info("lithium.jar").icon.isNull());
}

TEST_F(ModrinthClientTest, AnUnchangedFileKeepsItsCachedHashAndADamagedCacheIsRewritten) {
    test::writeWholeFile(dir / "mods/a.jar", "content a");
    const QFileInfo file(mods() + "/a.jar");
    ModCacheMap cache;
    CachedMod& entry = cache["a.jar"];
    entry.info.fileName = "a.jar";
    entry.info.title = "Planted";
    entry.info.resolved = true;
    entry.sha1 = QString(40, QLatin1Char('b'));
    entry.sizeBytes = file.size();
    entry.modifiedMs = file.lastModified().toMSecsSinceEpoch();
    ASSERT_TRUE(writeModCache(QString::fromStdString((dir / "modcache.json").string()), cache));
    ModrinthClient client(modrinth.config(dir.path()), nullptr);
    QSignalSpy finished(&client, &ModrinthClient::scanFinished);
    client.scanFolder(mods()); // a known jar without an icon needs no request at all
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(client.info("a.jar").title, "Planted");
    EXPECT_EQ(modrinth.server().requestsServed(), 0u);

    // Another modification time: the file is hashed again and asked about.
    entry.modifiedMs -= 5000;
    ASSERT_TRUE(writeModCache(QString::fromStdString((dir / "modcache.json").string()), cache));
    ModrinthClient again(modrinth.config(dir.path()), nullptr);
    ASSERT_EQ(scan(again), 1);
    EXPECT_EQ(modrinth.requests("/v2/version_file/" + sha1FileHex(dir / "mods/a.jar")), 1u);

    test::writeWholeFile(dir / "modcache.json", "{\"a.jar\": {\"title\": tru");
    ModrinthClient third(modrinth.config(dir.path()), nullptr);
    ASSERT_EQ(scan(third), 1);
    EXPECT_EQ(cached("a.jar")["sha1"].toString().toStdString(), sha1FileHex(dir / "mods/a.jar"));
}

TEST_F(ModrinthClientTest, KeepsFourChainsAtMostAndWaitsOutARateLimit) {
    for (int i = 0; i < 12; ++i)
        modrinth.addMod(dir / ("mods/mod" + std::to_string(i) + ".jar"), std::to_string(i),
                        "lithium", "1", Icon::Png);
    modrinth.setDelayMs(60);
    modrinth.refuseWithRateLimit(1);
    ModrinthClient client(modrinth.config(dir.path()), nullptr);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(scan(client, 30000), 12);
    EXPECT_GE(clock.elapsed(), 900); // the reset of one second
    EXPECT_LE(modrinth.mostInFlight(), 4);
    EXPECT_GE(modrinth.mostInFlight(), 2);
    EXPECT_EQ(modrinth.requests("/v2/version_file/"), 13u);
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(client.info(QStringLiteral("mod%1.jar").arg(i)).resolved) << i;
}

TEST_F(ModrinthClientTest, RepliesOfAnEarlierScanUpdateTheCacheButNeverTheNewScan) {
    modrinth.addMod(dir / "mods/old.jar", "old mod", "lithium", "1", Icon::None);
    modrinth.setDelayMs(300);
    ModrinthClient client(modrinth.config(dir.path()), nullptr);
    QSignalSpy updated(&client, &ModrinthClient::modUpdated);
    QSignalSpy finished(&client, &ModrinthClient::scanFinished);
    client.scanFolder(mods());
    std::filesystem::remove(dir / "mods/old.jar");
    test::writeWholeFile(dir / "mods/new.jar", "new mod, unknown");
    client.scanFolder(mods());
    ASSERT_TRUE(finished.wait(5000));
    // The first scan's chain ends when its learning reaches the cache.
    for (int i = 0; i < 300 && !cached("old.jar")["resolved"].toBool(); ++i)
        QTest::qWait(10);
    EXPECT_TRUE(cached("old.jar")["resolved"].toBool());
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(finished[0][0].toInt(), 1);
    EXPECT_EQ(updated.size(), 0);
}

TEST(ModrinthRepliesTest, AHostileSlugCannotMoveThePageOffTheSite) {
    ModInfo info;
    info.title = QStringLiteral("lithium.jar");
    readModrinthProject(R"({"title":"Lithium","slug":"../../evil.example/x?y#z"})",
                        "https://modrinth.example", info);
    const QUrl page(info.pageUrl);
    EXPECT_EQ(page.host(), "modrinth.example");
    EXPECT_EQ(page.path(QUrl::FullyEncoded), "/mod/..%2F..%2Fevil.example%2Fx%3Fy%23z");
    EXPECT_TRUE(page.query().isEmpty() && page.fragment().isEmpty());
    EXPECT_EQ(info.title, "Lithium");
    EXPECT_TRUE(info.resolved);
}

} // namespace
} // namespace qbk
