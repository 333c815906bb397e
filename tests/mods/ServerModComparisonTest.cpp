#include "mods/ServerModComparison.h"

#include "mods/ServerModCheck.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

namespace qbk {
namespace {

QString names(const QList<ServerMod>& mods) {
    QStringList list;
    for (const ServerMod& mod : mods)
        list << mod.fileName + (mod.onServer ? "" : " extra") + (mod.installed ? " installed" : "");
    return list.join(", ");
}

TEST(ServerModComparisonTest, ManifestKeepsPlainNamesOnlyAndReadsEveryField) {
    QList<ServerMod> entries;
    ASSERT_TRUE(ServerModComparison::parseManifest(R"({"mods": [
        {"fileName": "a.jar", "url": "http://h/a.jar", "sizeBytes": 12.9, "sha256": "ab"},
        {"fileName": "..\\Quellbrook.ini", "url": "http://h/x", "sizeBytes": 1},
        {"fileName": "../up.jar"}, {"fileName": "sub/b.jar"}, {"fileName": "C:evil.jar"},
        {"fileName": "CON.jar"}, {"fileName": ""}, {"url": "http://h/nameless"}, "not an object",
        {"fileName": "Ботаника-2.0.jar"}, {"fileName": "a.jar", "url": "http://h/again"}]})",
                                                   entries));
    EXPECT_EQ(names(entries), "a.jar, Ботаника-2.0.jar, a.jar");
    EXPECT_EQ(entries[0].url + entries[0].sha256, "http://h/a.jarab");
    EXPECT_EQ(entries[0].sizeBytes, 12);
    EXPECT_TRUE(entries[1].url.isEmpty());
    EXPECT_EQ(entries[1].sizeBytes, 0);
    for (const char* bad : {"[]", "{\"mods\": {}}", "<html>", ""}) {
        entries = {ServerMod{}};
        EXPECT_FALSE(ServerModComparison::parseManifest(bad, entries)) << bad;
        EXPECT_TRUE(entries.isEmpty());
    }
}

TEST(ServerModComparisonTest, InstalledFollowsTheSizeAndTheTargetsCaseRuleAndExtrasComeLast) {
    test::TempDir dir;
    // clang-format off
    for (const auto& [name, size] : std::vector<std::pair<std::string, int>>{{"right.jar", 10},
             {"wrong-size.jar", 9}, {"any-size.jar", 3}, {"zeta.jar", 4}, {"alpha.jar", 5},
             {"foo.jar", 7}, {"notes.txt", 1}})
        test::writeWholeFile(dir / "mods" / name, std::string(size, 'j'));
    QList<ServerMod> manifest = {{"right.jar", "u", 10, true, false, {}},
        {"wrong-size.jar", "u", 10, true, true, {}}, {"any-size.jar", "u", 0, true, false, {}},
        {"absent.jar", "u", 10, true, true, {}}, {"Foo.jar", "u", 7, true, false, {}}};
    // clang-format on
    std::filesystem::create_directories(dir / "mods/folder.jar");
    const auto rows =
        ServerModComparison(dir / "mods", TargetPlatform::linuxX64()).withLocalFiles(manifest);
    EXPECT_EQ(names(rows),
              "right.jar installed, wrong-size.jar, any-size.jar installed, absent.jar, Foo.jar, "
              "alpha.jar extra installed, foo.jar extra installed, zeta.jar extra installed");
    EXPECT_EQ(rows[5].sizeBytes, 5);
    EXPECT_TRUE(rows[5].url.isEmpty());
    // Windows compares names without case: foo.jar is Foo.jar there.
    const auto windows = ServerModComparison(dir / "mods", TargetPlatform::windowsX64())
                             .withLocalFiles({manifest[4]});
    EXPECT_EQ(
        names(windows),
        "Foo.jar installed, alpha.jar extra installed, any-size.jar extra installed, "
        "right.jar extra installed, wrong-size.jar extra installed, zeta.jar extra installed");
}

// The check the main window runs before play and before the self-check.
TEST(ServerModCheckTest, TheServersListGivesMissingAndExtraOrFailsWithinItsTimeOrWhenCancelled) {
    test::TempDir dir;
    test::writeWholeFile(dir / "mods/have.jar", "have");
    test::writeWholeFile(dir / "mods/mine.jar", "mine");
    test::TestHttpServer server;
    server.get("/api/mods", [](const auto&, httplib::Response& response, const auto&) {
        response.set_content(R"({"mods": [{"fileName": "have.jar", "url": "u", "sizeBytes": 4},
            {"fileName": "need.jar", "url": "u", "sizeBytes": 2097152},
            {"fileName": "..\\Quellbrook.ini", "url": "u", "sizeBytes": 1}]})",
                             "json");
    });
    QList<ServerMod> missing, extra;
    const auto check = [&](const std::string& path, int timeoutMs = 5000, int cancelMs = -1) {
        missing = extra = {ServerMod{}};
        ServerModCheck check(ServerModComparison(dir / "mods", TargetPlatform::linuxX64()),
                             QString::fromStdString(server.url(path)));
        if (cancelMs >= 0)
            QTimer::singleShot(cancelMs, &check, &ServerModCheck::cancel);
        return check.run(missing, extra, timeoutMs);
    };
    ASSERT_TRUE(check("/api/mods"));
    EXPECT_EQ(names(missing) + " | " + names(extra), "need.jar | mine.jar extra installed");
    EXPECT_EQ(missing[0].sizeBytes, 2097152);
    QElapsedTimer clock;
    clock.start();
    for (const auto& [path, timeoutMs, cancelMs] :
         std::vector<std::tuple<std::string, int, int>>{{"/status/404", 5000, -1},
                                                        {"/status/500", 5000, -1},
                                                        {"/bytes/40", 5000, -1},
                                                        {"/stall/4000", 300, -1},
                                                        {"/stall/4000", 5000, 100}}) {
        EXPECT_FALSE(check(path, timeoutMs, cancelMs)) << path;
        EXPECT_TRUE(missing.isEmpty() && extra.isEmpty());
    }
    EXPECT_LT(clock.elapsed(), 3000);
}

} // namespace
} // namespace qbk
