#include "mods/ModrinthClient.h"

#include "mods/ModCache.h"
#include "mods/ModIcon.h"
#include "mods/ModrinthReplies.h"
#include "mods/ZipUtils.h"
#include "tests/app/QtTestApp.h"
#include "tests/mods/ModrinthFixture.h"
#include "tests/mods/ScratchDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <fstream>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using test::ModrinthFixture;
using IconKind = ModrinthFixture::IconKind;

class ModrinthClientTest : public ::testing::Test {
protected:
    std::string writeJar(const std::string& name, const std::string& content) {
        const auto path = dir / "mods" / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return sha1FileHex(path);
    }
    QString modsDir() const { return QString::fromStdString((dir / "mods").string()); }
    QString cacheFile() const { return QString::fromStdString((dir / "modcache.json").string()); }
    ModrinthClient::Config config(int timeoutMs = 5000) const {
        ModrinthClient::Config c;
        c.apiBase = modrinth.apiBase();
        c.siteBase = modrinth.siteBase();
        c.cacheFile = cacheFile();
        c.userAgent = QStringLiteral("Quellbrook-Launcher/1.0 (test)");
        c.transferTimeout = std::chrono::milliseconds(timeoutMs);
        return c;
    }
    QJsonObject cacheJson() const {
        QFile file(cacheFile());
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).object();
    }
    // Runs one scan to its end and returns the scanFinished total (-1 on a time-out).
    static int scanToEnd(ModrinthClient& client, const QString& folder, int waitMs = 10000) {
        QSignalSpy finished(&client, &ModrinthClient::scanFinished);
        client.scanFolder(folder);
        if (finished.isEmpty() && !finished.wait(waitMs))
            return -1;
        return finished.first().first().toInt();
    }

    test::ScratchDir dir;
    ModrinthFixture modrinth;
};

TEST_F(ModrinthClientTest, EmptyFolderFinishesAtOnceWithoutTouchingTheCache) {
    std::filesystem::create_directories(dir / "mods");
    ModrinthClient client(config(), nullptr);
    QSignalSpy finished(&client, &ModrinthClient::scanFinished);
    QSignalSpy found(&client, &ModrinthClient::modFound);
    client.scanFolder(modsDir());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.first().first().toInt(), 0);
    EXPECT_EQ(found.count(), 0);
    EXPECT_FALSE(QFileInfo::exists(cacheFile()));
}

TEST_F(ModrinthClientTest, IdentifiesKnownModsWithIconsAndLeavesUnknownOnesByName) {
    const std::string lithium = writeJar("lithium.jar", "lithium bytes");
    const std::string sodium = writeJar("sodium.jar", "sodium bytes");
    writeJar("private.jar", "not on modrinth");
    writeJar("notes.txt", "not a jar");
    modrinth.addMod(lithium, "lithium", "0.13.0", IconKind::Png);
    modrinth.addMod(sodium, "sodium", "", IconKind::Webp);

    ModrinthClient client(config(), nullptr);
    QSignalSpy found(&client, &ModrinthClient::modFound);
    QSignalSpy updated(&client, &ModrinthClient::modUpdated);
    ASSERT_EQ(scanToEnd(client, modsDir()), 3);

    ASSERT_EQ(found.count(), 3);
    QStringList order;
    for (const auto& args : found)
        order << args.first().value<ModInfo>().fileName;
    EXPECT_EQ(order, (QStringList{"lithium.jar", "private.jar", "sodium.jar"}));
    EXPECT_EQ(found.first().first().value<ModInfo>().title, QStringLiteral("lithium.jar"));

    const ModInfo lith = client.info(QStringLiteral("lithium.jar"));
    EXPECT_TRUE(lith.resolved);
    EXPECT_EQ(lith.title, QStringLiteral("Lithium"));
    EXPECT_EQ(lith.version, QStringLiteral("0.13.0"));
    EXPECT_EQ(lith.pageUrl, QStringLiteral("https://modrinth.example/mod/lithium"));
    ASSERT_FALSE(lith.icon.isNull());
    EXPECT_EQ(lith.icon.size(), QSize(32, 32));
    const ModInfo sod = client.info(QStringLiteral("sodium.jar"));
    EXPECT_EQ(sod.title, QStringLiteral("Sodium"));
    EXPECT_TRUE(sod.version.isEmpty());
    EXPECT_FALSE(sod.icon.isNull()) << "a WebP icon must decode";
    const ModInfo unknown = client.info(QStringLiteral("private.jar"));
    EXPECT_FALSE(unknown.resolved);
    EXPECT_EQ(unknown.title, QStringLiteral("private.jar"));
    for (const auto& args : updated)
        EXPECT_NE(args.first().value<ModInfo>().fileName, QStringLiteral("private.jar"));
    EXPECT_EQ(updated.count(), 4); // project and icon, for each of the two known mods

    const QJsonObject cache = cacheJson();
    EXPECT_EQ(cache.size(), 3);
    const QJsonObject entry = cache.value(QStringLiteral("lithium.jar")).toObject();
    EXPECT_EQ(entry.value(QStringLiteral("title")).toString(), QStringLiteral("Lithium"));
    EXPECT_EQ(entry.value(QStringLiteral("sha1")).toString().toStdString(), lithium);
    EXPECT_TRUE(entry.value(QStringLiteral("resolved")).toBool());
    EXPECT_FALSE(cache.value(QStringLiteral("private.jar")).toObject().value("resolved").toBool());
    EXPECT_EQ(entry.value(QStringLiteral("size")).toInteger(), 13);
}

TEST_F(ModrinthClientTest, NextStartShowsCachedNamesAtOnceAndAsksOnlyForChangedOrUnknown) {
    const std::string lithium = writeJar("lithium.jar", "lithium bytes");
    const std::string sodium = writeJar("sodium.jar", "sodium bytes");
    writeJar("private.jar", "not on modrinth");
    modrinth.addMod(lithium, "lithium", "0.13.0", IconKind::Png);
    modrinth.addMod(sodium, "sodium", "0.6.0", IconKind::None);
    {
        ModrinthClient first(config(), nullptr);
        ASSERT_EQ(scanToEnd(first, modsDir()), 3);
    }
    const std::size_t versionCalls = modrinth.requests("/v2/version_file/");

    // sodium.jar changes; the new content is another sodium version.
    const std::string newSodium = writeJar("sodium.jar", "sodium bytes, newer release");
    modrinth.addMod(newSodium, "sodium", "0.6.1", IconKind::None);
    ModrinthClient second(config(), nullptr);
    QSignalSpy found(&second, &ModrinthClient::modFound);
    ASSERT_EQ(scanToEnd(second, modsDir()), 3);

    ASSERT_EQ(found.count(), 3);
    EXPECT_EQ(found.at(0).first().value<ModInfo>().title, QStringLiteral("Lithium"));
    EXPECT_EQ(found.at(2).first().value<ModInfo>().title, QStringLiteral("Sodium"))
        << "a changed file keeps its old record until the new lookup answers";
    // One lookup for the changed file and one for the unknown one; none for lithium.
    EXPECT_EQ(modrinth.requests("/v2/version_file/") - versionCalls, 2u);
    EXPECT_EQ(modrinth.requests("/v2/version_file/" + lithium), 1u);
    EXPECT_EQ(second.info(QStringLiteral("sodium.jar")).version, QStringLiteral("0.6.1"));
    EXPECT_FALSE(second.info(QStringLiteral("lithium.jar")).icon.isNull());
}

TEST_F(ModrinthClientTest, UnchangedSizeAndTimeReuseTheCachedHashInsteadOfReadingTheFile) {
    const std::string real = writeJar("a.jar", "content a");
    const QFileInfo file(modsDir() + QStringLiteral("/a.jar"));
    const QString planted = QString(40, QLatin1Char('b'));
    ModCacheMap cache;
    CachedMod entry;
    entry.info.fileName = QStringLiteral("a.jar");
    entry.sha1 = planted;
    entry.sizeBytes = file.size();
    entry.modifiedMs = file.lastModified().toMSecsSinceEpoch();
    cache.insert(entry.info.fileName, entry);
    ASSERT_TRUE(writeModCache(cacheFile(), cache));

    ModrinthClient client(config(), nullptr);
    ASSERT_EQ(scanToEnd(client, modsDir()), 1);
    EXPECT_EQ(modrinth.requests("/v2/version_file/" + planted.toStdString()), 1u);
    EXPECT_EQ(modrinth.requests("/v2/version_file/" + real), 0u);

    // A different modification time makes the file count as changed: it is hashed again.
    cache[entry.info.fileName].modifiedMs -= 5000;
    ASSERT_TRUE(writeModCache(cacheFile(), cache));
    ModrinthClient again(config(), nullptr);
    ASSERT_EQ(scanToEnd(again, modsDir()), 1);
    EXPECT_EQ(modrinth.requests("/v2/version_file/" + real), 1u);
}

TEST_F(ModrinthClientTest, KnownModsWithoutIconsFinishBeforeTheScanReturns) {
    ModCacheMap cache;
    for (const char* name : {"a.jar", "b.jar", "c.jar"}) {
        CachedMod entry;
        entry.info.fileName = QString::fromLatin1(name);
        entry.info.title = QStringLiteral("Title ") + QLatin1String(name);
        entry.info.resolved = true;
        entry.sha1 = QString::fromStdString(writeJar(name, name));
        cache.insert(entry.info.fileName, entry);
    }
    ASSERT_TRUE(writeModCache(cacheFile(), cache));
    ModrinthClient client(config(), nullptr);
    QSignalSpy found(&client, &ModrinthClient::modFound);
    QSignalSpy finished(&client, &ModrinthClient::scanFinished);
    client.scanFolder(modsDir());
    EXPECT_EQ(found.count(), 3);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.first().first().toInt(), 3);
    EXPECT_EQ(modrinth.server().requestsServed(), 0u);
    EXPECT_EQ(cacheJson().value("b.jar").toObject().value("size").toInteger(), 5);
}

TEST_F(ModrinthClientTest, DamagedCacheIsIgnoredAndRewrittenWhole) {
    const std::string sha = writeJar("lithium.jar", "lithium bytes");
    modrinth.addMod(sha, "lithium", "1", IconKind::None);
    { std::ofstream(dir / "modcache.json") << "{\"lithium.jar\": {\"title\": tru"; }
    ModrinthClient client(config(), nullptr);
    ASSERT_EQ(scanToEnd(client, modsDir()), 1);
    EXPECT_EQ(cacheJson().value("lithium.jar").toObject().value("title").toString(),
              QStringLiteral("Lithium"));
    EXPECT_FALSE(QFileInfo::exists(cacheFile() + QStringLiteral(".tmp")));
}

TEST_F(ModrinthClientTest, KeepsAtMostFourLookupChainsInFlight) {
    for (int i = 0; i < 12; ++i) {
        const std::string name = "mod" + std::to_string(i) + ".jar";
        modrinth.addMod(writeJar(name, name), "lithium", std::to_string(i), IconKind::Png);
    }
    modrinth.setDelayMs(60);
    ModrinthClient client(config(), nullptr);
    ASSERT_EQ(scanToEnd(client, modsDir(), 30000), 12);
    EXPECT_LE(modrinth.mostInFlight(), 4);
    EXPECT_GE(modrinth.mostInFlight(), 2);
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(client.info(QStringLiteral("mod%1.jar").arg(i)).resolved) << i;
}

TEST_F(ModrinthClientTest, RateLimitWaitsForTheResetInsteadOfGivingUp) {
    const std::string sha = writeJar("lithium.jar", "lithium bytes");
    modrinth.addMod(sha, "lithium", "1", IconKind::None);
    modrinth.refuseWithRateLimit(1, 1);
    ModrinthClient client(config(), nullptr);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(scanToEnd(client, modsDir()), 1);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_TRUE(client.info(QStringLiteral("lithium.jar")).resolved);
    EXPECT_EQ(modrinth.requests("/v2/version_file/"), 2u);
}

TEST_F(ModrinthClientTest, SlowServerEndsTheLookupAtTheTransferTimeout) {
    const std::string sha = writeJar("lithium.jar", "lithium bytes");
    modrinth.addMod(sha, "lithium", "1", IconKind::None);
    modrinth.setDelayMs(3000);
    ModrinthClient client(config(300), nullptr);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(scanToEnd(client, modsDir()), 1);
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_FALSE(client.info(QStringLiteral("lithium.jar")).resolved);
}

TEST_F(ModrinthClientTest, RepliesOfAnEarlierScanUpdateTheCacheButNeverTheNewScan) {
    const std::string old = writeJar("old.jar", "old mod");
    modrinth.addMod(old, "lithium", "1", IconKind::None);
    modrinth.setDelayMs(300);
    ModrinthClient client(config(), nullptr);
    QSignalSpy updated(&client, &ModrinthClient::modUpdated);
    QSignalSpy finished(&client, &ModrinthClient::scanFinished);
    client.scanFolder(modsDir());

    std::filesystem::remove(dir / "mods" / "old.jar");
    writeJar("new.jar", "new mod, unknown");
    client.scanFolder(modsDir());
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.first().first().toInt(), 1);
    QTest::qWait(900); // the first scan's chain ends meanwhile
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(updated.count(), 0);
    EXPECT_TRUE(cacheJson().value("old.jar").toObject().value("resolved").toBool());
}

TEST_F(ModrinthClientTest, UndecodableIconLeavesTheIconNullAndStillFinishes) {
    const std::string sha = writeJar("lithium.jar", "lithium bytes");
    modrinth.addMod(sha, "lithium", "1", IconKind::Garbage);
    ModrinthClient client(config(), nullptr);
    QSignalSpy updated(&client, &ModrinthClient::modUpdated);
    ASSERT_EQ(scanToEnd(client, modsDir()), 1);
    EXPECT_EQ(updated.count(), 1);
    EXPECT_TRUE(client.info(QStringLiteral("lithium.jar")).icon.isNull());
    EXPECT_EQ(modrinth.requests("/icons/"), 1u);
}

TEST(ModIconTest, DecodesPngAndWebpAndRefusesGarbage) {
    EXPECT_EQ(decodeModIcon(ModrinthFixture::pngIcon()).size(), QSize(64, 64));
    const QImage webp = decodeModIcon(ModrinthFixture::webpIcon());
    ASSERT_EQ(webp.size(), QSize(48, 48));
    EXPECT_EQ(QColor(webp.pixel(10, 10)), QColor(40, 160, 90));
    EXPECT_TRUE(decodeModIcon(QByteArray("RIFF\x10\0\0\0WEBPVP8 ", 16)).isNull());
    EXPECT_EQ(modIconImage(ModrinthFixture::webpIcon()).size(), QSize(32, 32));
}

TEST(ModrinthRepliesTest, AHostileSlugCannotMoveThePageOffTheSite) {
    ModInfo info;
    info.title = QStringLiteral("lithium.jar");
    const QByteArray project =
        R"({"title":"Lithium","slug":"../../evil.example/x?y#z","icon_url":"https://i/a.png"})";
    readModrinthProject(project, QStringLiteral("https://modrinth.example"), info);
    const QUrl page(info.pageUrl);
    EXPECT_EQ(page.host(), QStringLiteral("modrinth.example"));
    EXPECT_EQ(page.path(QUrl::FullyEncoded),
              QStringLiteral("/mod/..%2F..%2Fevil.example%2Fx%3Fy%23z"));
    EXPECT_TRUE(page.query().isEmpty());
    EXPECT_TRUE(page.fragment().isEmpty());
    EXPECT_EQ(info.title, QStringLiteral("Lithium"));
    EXPECT_TRUE(info.resolved);
}

TEST(ModrinthRepliesTest, RepliesWithoutTheirFieldsKeepTheFileNameAndEndTheLookup) {
    ModInfo info;
    info.title = QStringLiteral("private.jar");
    EXPECT_TRUE(readModrinthVersion("not json", info).isEmpty());
    EXPECT_TRUE(readModrinthVersion(R"({"project_id":7})", info).isEmpty());
    readModrinthProject(R"([1,2])", QStringLiteral("https://modrinth.example"), info);
    EXPECT_EQ(info.title, QStringLiteral("private.jar"));
    EXPECT_TRUE(info.pageUrl.isEmpty());
    EXPECT_TRUE(info.iconUrl.isEmpty());
}

} // namespace
} // namespace qbk
