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
        list << mod.fileName + (mod.onServer ? "" : " extra") +
                    (mod.installed ? " installed" : "") + " " + QString::number(mod.sizeBytes) +
                    mod.url + mod.sha256;
    return list.join(", ");
}
// The manifest keeps plain names only; a jar counts as installed at the listed size (any size
// when none is listed) under the target's case rule; the folder's other jars come last, sorted.
TEST(ServerModComparisonTest, ManifestNamesAndTheFolderGiveInstalledMissingAndExtra) {
    QList<ServerMod> entries;
    ASSERT_TRUE(ServerModComparison::parseManifest(R"({"mods": [
        {"fileName": "a.jar", "url": "u", "sizeBytes": 1048576.0, "sha256": "ab"},
        {"fileName": "..\\Quellbrook.ini", "url": "http://h/x", "sizeBytes": 1},
        {"fileName": "../up.jar"}, {"fileName": "sub/b.jar"}, {"fileName": "C:evil.jar"},
        {"fileName": "CON.jar"}, {"fileName": ""}, {"url": "http://h/nameless"},
        {"fileName": "Ботаника-2.0.jar", "url": "b"}, {"fileName": "a.jar", "url": "again"}]})",
                                                   entries));
    EXPECT_EQ(names(entries), "a.jar 1048576uab, Ботаника-2.0.jar 0b, a.jar 0again");
    test::TempDir dir;
    for (const char* name : {"right.jar", "wrong.jar", "any.jar", "zeta.jar", "foo.jar", "n.txt"})
        test::writeWholeFile(dir / "mods" / name, name); // as long as its name
    std::filesystem::create_directories(dir / "mods/folder.jar");
    // clang-format off
    const QList<ServerMod> manifest = {{"right.jar", "u", 9, true, false, {}},
        {"wrong.jar", "u", 10, true, true, {}}, {"any.jar", "u", 0, true, false, {}},
        {"absent.jar", "u", 10, true, true, {}}, {"Foo.jar", "u", 7, true, false, {}}};
    // clang-format on
    const auto compare = [&](TargetPlatform target, const QList<ServerMod>& listed) {
        return names(ServerModComparison(dir / "mods", target).withLocalFiles(listed));
    };
    EXPECT_EQ(compare(TargetPlatform::linuxX64(), manifest),
              "right.jar installed 9u, wrong.jar 10u, any.jar installed 0u, absent.jar 10u, "
              "Foo.jar 7u, foo.jar extra installed 7, zeta.jar extra installed 8");
    EXPECT_EQ(compare(TargetPlatform::windowsX64(), {manifest[4], manifest[2]}),
              "Foo.jar installed 7u, any.jar installed 0u, right.jar extra installed 9, "
              "wrong.jar extra installed 9, zeta.jar extra installed 8");
}
// The check the main window runs before play and before the self-check.
TEST(ServerModCheckTest, TheServersListGivesMissingAndExtraOrFailsWithinItsTimeOrWhenCancelled) {
    test::TempDir dir;
    test::writeWholeFile(dir / "mods/have.jar", "have");
    test::writeWholeFile(dir / "mods/mine.jar", "mine");
    test::TestHttpServer server;
    server.get("/api/mods", [](const auto&, httplib::Response& response, const auto&) {
        response.set_content(R"({"mods": [{"fileName": "have.jar", "url": "u", "sizeBytes": 4},
            {"fileName": "need.jar", "url": "u", "sizeBytes": 2097152}]})",
                             "json");
    });
    QElapsedTimer clock;
    clock.start();
    // clang-format off
    for (const auto& [path, timeoutMs, cancelMs] : std::vector<std::tuple<std::string, int, int>>{
             {"/api/mods", 5000, -1}, {"/status/404", 5000, -1}, {"/status/500", 5000, -1},
             {"/bytes/40", 5000, -1}, {"/stall/4000", 300, -1}, {"/stall/4000", 5000, 100}}) {
        // clang-format on
        QList<ServerMod> missing{ServerMod{}}, extra{ServerMod{}};
        ServerModCheck check(ServerModComparison(dir / "mods", TargetPlatform::linuxX64()),
                             QString::fromStdString(server.url(path)));
        if (cancelMs >= 0)
            QTimer::singleShot(cancelMs, &check, &ServerModCheck::cancel);
        EXPECT_EQ(check.run(missing, extra, timeoutMs), path == "/api/mods") << path;
        EXPECT_EQ(names(missing) + " | " + names(extra),
                  path == "/api/mods" ? "need.jar 2097152u | mine.jar extra installed 4" : " | ");
    }
    EXPECT_LT(clock.elapsed(), 3000);
}
} // namespace
} // namespace qbk
