#include "launch/LauncherWorker.h"

#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
namespace {
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
// Every signal of a run, in order.
Lines runAndRecord(const qbk::LaunchSnapshot& snapshot) {
    LauncherWorker w(snapshot);
    Lines lines;
    QObject::connect(&w, &LauncherWorker::statusChanged, &w,
                     [&](const QString& t) { lines.push_back("status " + t.toStdString()); });
    QObject::connect(&w, &LauncherWorker::progressChanged, &w,
                     [&](int p) { lines.push_back("progress " + std::to_string(p)); });
    QObject::connect(&w, &LauncherWorker::finished, &w, [&](bool ok, const QString& t) {
        lines.push_back((ok ? "ok " : "failed ") + t.toStdString());
    });
    w.run();
    return lines;
}
// Every outside host is a loopback server that knows no path.
TEST(LauncherWorkerTest, EachRunEndsOnceAtItsFailingStepWithThatStepsText) {
    static int argc = 1;
    static char name[] = "worker-test", *argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    qbk::test::TestHttpServer server;
    const qbk::test::TempDir root("qbk-worker");
    const fs::path launcherDir = root / fs::path(u8"Лаунчер"), gameDir = launcherDir / "minecraft";
    const std::string base = server.url("/none"), javaFailure = "failed Не удалось подготовить "
                                                                "Java 21. Проверь подключение к "
                                                                "интернету.";
    qbk::LaunchSnapshot snapshot{
        launcherDir,
        {L"Игрок", L"8667ba71-b85a-4004-af54-457a9734eed7", L"tok", 2048, 1024},
        {base, base, base, base, base, base, base, "mc.test.invalid", base, ""}};
    snapshot.endpoints.adoptium = "http://127.0.0.1:1"; // nothing listens on port 1
    // The bar stays where it was during the runtime step; nothing else is touched.
    EXPECT_EQ(runAndRecord(snapshot), (Lines{"status Проверка Java 21...", javaFailure}));
    EXPECT_FALSE(fs::exists(gameDir));
    // With the private runtime in place, the run fails at the vanilla install.
    for (const std::string& exe :
         {snapshot.target.javaExecutable, snapshot.target.javaWindowlessExecutable})
        qbk::test::writeWholeFile(launcherDir / "runtime/java21/bin" / exe, "#!/bin/sh\n");
    const Lines lines = runAndRecord(snapshot);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2),
              (Lines{"status Проверка Java 21...", "progress 8"}));
    EXPECT_TRUE(lines.back().size() > 7 && lines.back() != javaFailure) << lines.back();
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const int percent = lines[i].starts_with("progress ") ? std::stoi(lines[i].substr(9)) : 8;
        EXPECT_TRUE(lines[i].find("модов") == std::string::npos && percent >= 8 && percent < 88 &&
                    (lines[i].starts_with("status ") || lines[i].starts_with("progress ")))
            << lines[i]; // ends once, before the mods step, within the install's share of the bar
        EXPECT_TRUE(lines.back().starts_with("failed ")) << lines.back();
    }
    EXPECT_FALSE(fs::exists(gameDir / "servers.dat") || fs::exists(gameDir / "mods") ||
                 fs::exists(launcherDir / "authlib-injector.jar"));
}
} // namespace
