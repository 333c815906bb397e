#include "mods/ServerModComparison.h"

#include "tests/app/QtTestApp.h"
#include "tests/mods/ScratchDir.h"
#include "tests/support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QStringList>
#include <fstream>
#include <gtest/gtest.h>

namespace qbk {
namespace {

namespace fs = std::filesystem;

QStringList namesOf(const QList<ServerMod>& mods) {
    QStringList names;
    for (const ServerMod& mod : mods)
        names << mod.fileName;
    return names;
}

class ServerModComparisonTest : public ::testing::Test {
protected:
    ServerModComparisonTest() { fs::create_directories(modsDir()); }

    fs::path modsDir() const { return dir / "mods"; }
    void writeJar(const std::string& name, std::size_t size) {
        std::ofstream(modsDir() / fs::u8path(name), std::ios::binary) << std::string(size, 'j');
    }
    void serveManifest(const std::string& body) {
        server.get("/api/mods",
                   [body](const httplib::Request&, httplib::Response& response,
                          const std::smatch&) { response.set_content(body, "application/json"); });
    }

    test::ScratchDir dir{"qbk-compare"};
    test::TestHttpServer server;
};

TEST_F(ServerModComparisonTest, ManifestKeepsPlainNamesOnlyAndReadsEveryField) {
    const QByteArray body = R"({"mods": [
        {"fileName": "a.jar", "url": "http://h/a.jar", "sizeBytes": 12.9, "sha256": "ab"},
        {"fileName": "..\\Quellbrook.ini", "url": "http://h/x", "sizeBytes": 1},
        {"fileName": "../up.jar", "url": "http://h/x"},
        {"fileName": "sub/b.jar", "url": "http://h/x"},
        {"fileName": "C:evil.jar", "url": "http://h/x"},
        {"fileName": "CON.jar", "url": "http://h/x"},
        {"fileName": "", "url": "http://h/x"},
        {"url": "http://h/nameless"},
        "not an object",
        {"fileName": "Ботаника-2.0.jar"},
        {"fileName": "a.jar", "url": "http://h/again"}
    ]})";
    QList<ServerMod> entries;
    ASSERT_TRUE(ServerModComparison::parseManifest(body, entries));
    EXPECT_EQ(namesOf(entries), (QStringList{"a.jar", "Ботаника-2.0.jar", "a.jar"}));
    EXPECT_EQ(entries[0].url, "http://h/a.jar");
    EXPECT_EQ(entries[0].sizeBytes, 12);
    EXPECT_EQ(entries[0].sha256, "ab");
    EXPECT_TRUE(entries[0].onServer);
    EXPECT_TRUE(entries[1].url.isEmpty());
    EXPECT_EQ(entries[1].sizeBytes, 0);

    for (const QByteArray& bad :
         {QByteArray("[]"), QByteArray("{\"mods\": {}}"), QByteArray("<html>"), QByteArray()}) {
        entries = {ServerMod{}};
        EXPECT_FALSE(ServerModComparison::parseManifest(bad, entries)) << bad.toStdString();
        EXPECT_TRUE(entries.isEmpty());
    }
}

TEST_F(ServerModComparisonTest, InstalledFollowsSizeAndExtrasComeInNameOrder) {
    writeJar("right.jar", 10);
    writeJar("wrong-size.jar", 9);
    writeJar("any-size.jar", 3);
    writeJar("zeta-extra.jar", 4);
    writeJar("alpha-extra.jar", 5);
    std::ofstream(modsDir() / "notes.txt") << "not a jar";
    fs::create_directories(modsDir() / "folder.jar");

    QList<ServerMod> manifest(4);
    manifest[0] = {"right.jar", "u", 10, true, false, {}};
    manifest[1] = {"wrong-size.jar", "u", 10, true, true, {}};
    manifest[2] = {"any-size.jar", "u", 0, true, false, {}};
    manifest[3] = {"absent.jar", "u", 10, true, true, {}};
    const QList<ServerMod> rows =
        ServerModComparison(modsDir(), TargetPlatform::linuxX64()).withLocalFiles(manifest);

    ASSERT_EQ(namesOf(rows), (QStringList{"right.jar", "wrong-size.jar", "any-size.jar",
                                          "absent.jar", "alpha-extra.jar", "zeta-extra.jar"}));
    EXPECT_TRUE(rows[0].installed);
    EXPECT_FALSE(rows[1].installed);
    EXPECT_TRUE(rows[2].installed);
    EXPECT_FALSE(rows[3].installed);
    EXPECT_FALSE(rows[4].onServer);
    EXPECT_TRUE(rows[4].installed);
    EXPECT_EQ(rows[4].sizeBytes, 5);
    EXPECT_TRUE(rows[4].url.isEmpty());
}

TEST_F(ServerModComparisonTest, WindowsTargetComparesNamesWithoutCase) {
    writeJar("foo.jar", 7);
    QList<ServerMod> manifest(1);
    manifest[0] = {"Foo.jar", "u", 7, true, false, {}};

    const QList<ServerMod> windows =
        ServerModComparison(modsDir(), TargetPlatform::windowsX64()).withLocalFiles(manifest);
    ASSERT_EQ(namesOf(windows), QStringList{"Foo.jar"});
    EXPECT_TRUE(windows[0].installed);

    const QList<ServerMod> linux =
        ServerModComparison(modsDir(), TargetPlatform::linuxX64()).withLocalFiles(manifest);
    ASSERT_EQ(namesOf(linux), (QStringList{"Foo.jar", "foo.jar"}));
    EXPECT_FALSE(linux[0].installed);
    EXPECT_FALSE(linux[1].onServer);
}

TEST_F(ServerModComparisonTest, ServerComparisonFillsMissingAndExtraButNeverAnUnsafeName) {
    writeJar("have.jar", 4);
    writeJar("mine.jar", 6);
    serveManifest(R"({"mods": [
        {"fileName": "have.jar", "url": "http://h/have.jar", "sizeBytes": 4},
        {"fileName": "need.jar", "url": "http://h/need.jar", "sizeBytes": 2097152},
        {"fileName": "..\\Quellbrook.ini", "url": "http://h/ini", "sizeBytes": 1}]})");
    QList<ServerMod> missing{ServerMod{}}, extra{ServerMod{}};
    const ServerModComparison comparison(modsDir(), TargetPlatform::linuxX64());
    ASSERT_TRUE(comparison.compareWithServer(QString::fromStdString(server.url("/api/mods")),
                                             missing, extra, 5000));
    EXPECT_EQ(namesOf(missing), QStringList{"need.jar"});
    EXPECT_EQ(missing[0].sizeBytes, 2097152);
    EXPECT_EQ(namesOf(extra), QStringList{"mine.jar"});
    EXPECT_FALSE(extra[0].onServer);
}

TEST_F(ServerModComparisonTest, ServerComparisonFailsOnErrorsBadBodiesAndSilenceWithinItsTime) {
    writeJar("mine.jar", 6);
    const ServerModComparison comparison(modsDir(), TargetPlatform::linuxX64());
    QList<ServerMod> missing, extra;
    for (const std::string path : {"/status/404", "/status/500", "/bytes/40"}) {
        missing = {ServerMod{}};
        extra = {ServerMod{}};
        EXPECT_FALSE(comparison.compareWithServer(QString::fromStdString(server.url(path)), missing,
                                                  extra, 5000))
            << path;
        EXPECT_TRUE(missing.isEmpty());
        EXPECT_TRUE(extra.isEmpty());
    }
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(comparison.compareWithServer(QString::fromStdString(server.url("/stall/4000")),
                                              missing, extra, 300));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(extra.isEmpty());
}

} // namespace
} // namespace qbk
