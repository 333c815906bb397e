#include "launch/LauncherWorker.h"

#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Every signal of a run as one ordered list (direct connections, on the worker's thread).
Lines runAndRecord(const qbk::LaunchSnapshot& snapshot) {
    LauncherWorker w(snapshot);
    Lines lines;
    const auto add = [&](std::string line) {
        lines.push_back(std::move(line));
    };
    QObject::connect(&w, &LauncherWorker::statusChanged, &w,
                     [&](const QString& t) { add("status " + t.toStdString()); });
    QObject::connect(&w, &LauncherWorker::progressChanged, &w,
                     [&](int p) { add("progress " + std::to_string(p)); });
    QObject::connect(&w, &LauncherWorker::finished, &w, [&](bool ok, const QString& t) {
        add((ok ? "ok " : "failed ") + t.toStdString());
    });
    w.run();
    return lines;
}

// On the play window's thread the same runs end the same way (PlayButtonTest). The launcher
// folder has a Cyrillic name; every outside host is a loopback server that knows no path.
TEST(LauncherWorkerTest, EachRunEndsOnceAtItsFailingStepWithThatStepsText) {
    static int argc = 1;
    static char name[] = "worker-test", *argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    qbk::test::TestHttpServer server;
    const qbk::test::TempDir root("qbk-worker");
    const fs::path launcherDir = root / fs::path(u8"Лаунчер"), gameDir = launcherDir / "minecraft";
    const std::string base = server.url("/none"),
                      javaFailure =
                          "failed Не удалось подготовить Java 21. Проверь подключение к интернету.";
    qbk::LaunchSnapshot snapshot{
        launcherDir,
        {L"Игрок", L"8667ba71-b85a-4004-af54-457a9734eed7", L"tok", 2048, 1024},
        {base, base, base, base, base, base, base, "mc.test.invalid", base, ""}};
    snapshot.endpoints.adoptium = "http://127.0.0.1:1"; // nothing listens on port 1
    // The bar stays where it was during the runtime step; nothing else is touched.
    EXPECT_EQ(runAndRecord(snapshot), (Lines{"status Проверка Java 21...", javaFailure}));
    EXPECT_FALSE(fs::exists(gameDir));
    // The private runtime as an earlier launch left it, so the run goes past the Java step; the
    // vanilla install finds nothing on the server.
    for (const std::string& exe :
         {snapshot.target.javaExecutable, snapshot.target.javaWindowlessExecutable})
        qbk::test::writeWholeFile(launcherDir / "runtime/java21/bin" / exe, "#!/bin/sh\n");
    const Lines lines = runAndRecord(snapshot);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2),
              (Lines{"status Проверка Java 21...", "progress 8"}));
    EXPECT_TRUE(lines.back().starts_with("failed ") && lines.back().size() > 7 &&
                lines.back() != javaFailure)
        << lines.back();
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_FALSE(lines[i].starts_with("failed ") || lines[i].starts_with("ok ")) << i;
        EXPECT_EQ(lines[i].find("модов"), std::string::npos) << lines[i]; // mods step not reached
        const int percent = lines[i].starts_with("progress ") ? std::stoi(lines[i].substr(9)) : 8;
        EXPECT_TRUE(percent >= 8 && percent < 88) << lines[i];
    }
    EXPECT_FALSE(fs::exists(gameDir / "servers.dat") || fs::exists(gameDir / "mods") ||
                 fs::exists(launcherDir / "authlib-injector.jar"));
}

} // namespace
