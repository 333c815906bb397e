#include "launch/LauncherWorker.h"

#include "launch/LaunchProgress.h"
#include "launch/LauncherLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <QCoreApplication>
#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <regex>
#include <thread>
namespace {
namespace fs = std::filesystem;
// Every outside host is a loopback server that knows no path.
TEST(LauncherWorkerTest, AFailedRuntimeStepEndsTheRunWithItsTextAndTouchesNothingElse) {
    static int argc = 1;
    static char name[] = "worker-test", *argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    qbk::test::TestHttpServer server;
    const qbk::test::TempDir root("qbk-worker");
    const fs::path launcherDir = root / fs::path(u8"Лаунчер"), gameDir = launcherDir / "minecraft";
    const std::string base = server.url("/none");
    qbk::LaunchSnapshot snapshot{
        launcherDir,
        {L"Игрок", L"8667ba71-b85a-4004-af54-457a9734eed7", L"tok", 2048, 1024},
        {base, base, base, base, base, base, base, "mc.test.invalid", base, "", ""}};
    snapshot.endpoints.adoptium = "http://127.0.0.1:1"; // nothing listens on port 1
    // The runtime step fails with its own message and libcurl's cause on the second line, and
    // touches nothing else. (A stop mid-download is the end-to-end suite's: the cancel and the
    // close mid-launch.)
    LauncherWorker worker(snapshot);
    std::string finished = "none";
    QObject::connect(&worker, &LauncherWorker::finished, &worker, [&](bool ok, const QString& t) {
        finished = (ok ? "ok " : "failed ") + t.toStdString();
    });
    worker.run();
    EXPECT_TRUE(finished.starts_with("failed Не удалось подготовить Java 21. Проверь подключение "
                                     "к интернету.\nСервер не принимает подключение ("))
        << finished;
    EXPECT_FALSE(fs::exists(gameDir));
}
// A stop during the game-start watch ends the wait within a slice, and the game with it.
TEST(LauncherWorkerTest, AStopDuringTheGameStartWatchEndsTheWaitAndTheGame) {
    const qbk::test::TempDir dir("qbk-start");
    const auto stop = std::make_shared<std::atomic<bool>>(false);
    const qbk::LaunchProgress watch({}, stop);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop->store(true);
    });
    const auto start = std::chrono::steady_clock::now();
    std::wstring error;
    EXPECT_FALSE(qbk::LaunchGame("/bin/sh", dir.path(),
                                 {L"game", {L"-c", L"echo $$ > pid; exec sleep 30"}, {}}, error,
                                 std::chrono::seconds(8), &watch));
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(error, L"Запуск отменён.");
    EXPECT_NE(::kill(std::stoi(qbk::test::readWholeFile(dir / "pid")), 0), 0); // ended, reaped
}
// This run's lines, time-stamped and masked, and four earlier runs, each moved one place on.
TEST(LauncherLogTest, RotatesAndMasksWhatTheStreamsCarry) {
    const qbk::test::TempDir dir("qbk-log");
    for (int run = 0; run <= qbk::LauncherLog::kKeptRuns; ++run)
        qbk::test::writeWholeFile(
            dir / (run ? "launcher." + std::to_string(run) + ".log" : "launcher.log"),
            "run " + std::to_string(run));
    {
        const qbk::LauncherLog log(dir.path());
        ASSERT_TRUE(log.isOpen());
        qbk::LauncherLog::addSecret("s3cr3t-session");
        std::cout << "[Java] Скачивание: 5%\r[Java] Скачивание: 9%\n[Launch] token=abc123 "
                     "s3cr3t-session\n";
        std::cerr << "[Mods] {\"password\": \"hunter2\"}\n";
    }
    for (int run = 1; run <= qbk::LauncherLog::kKeptRuns; ++run)
        EXPECT_EQ(qbk::test::readWholeFile(dir / ("launcher." + std::to_string(run) + ".log")),
                  "run " + std::to_string(run - 1));
    const std::string text = qbk::test::readWholeFile(dir / "launcher.log");
    const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    EXPECT_EQ(std::regex_replace(text, stamp, ""),
              "[Java] Скачивание: 9%\n[Launch] token=*** ***\n[Mods] {\"password\": \"***\"}\n");
    EXPECT_TRUE(qbk::LauncherLog(dir / "первый запуск" / "logs").isOpen()); // made on first start
}
} // namespace
