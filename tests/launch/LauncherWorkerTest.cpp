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
    // The runtime step fails with its own message and libcurl's cause on the second line; the
    // bar stays within the runtime's share; nothing else is touched. (A stop mid-download is
    // the end-to-end suite's: the cancel and the close mid-launch.)
    Lines lines = runAndRecord(snapshot);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "status Проверка Java 21...");
    EXPECT_TRUE(
        lines.back().starts_with("failed Не удалось подготовить Java 21. Проверь "
                                 "подключение к интернету.\nСервер не принимает подключение ("))
        << lines.back();
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        EXPECT_TRUE(lines[i].starts_with("status ") || std::stoi(lines[i].substr(9)) < 8)
            << lines[i];
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
constexpr std::int64_t kMiB = 1 << 20;
constexpr std::int64_t mib(double count) {
    return static_cast<std::int64_t>(count * kMiB);
}
TEST(LaunchProgressTest, StatusTextAndSmoothedRate) {
    const std::tuple<std::int64_t, std::int64_t, double, std::optional<double>, std::wstring>
        texts[] = {
            {312 * kMiB, 860 * kMiB, 48.0 * kMiB, 11.2, L"312 из 860 МБ · 48 МБ/с · осталось 11 с"},
            {100 << 10, 400 << 10, 0, std::nullopt, L"100 из 400 КБ"},
            {mib(3.45), mib(7.9), 512 << 10, 125, L"3,4 из 7,9 МБ · 512 КБ/с · осталось 2 мин 5 с"},
            {12 * kMiB, 0, 5.5 * kMiB, 3, L"12 МБ · 5,5 МБ/с"}};
    for (const auto& [done, total, speed, left, text] : texts)
        EXPECT_EQ(qbk::DownloadText(L"Скачивание", done, total, speed, left),
                  L"Скачивание: " + text);
    // (seconds, bytes so far) samples: the speed, whether it is steady, the time for 6 MiB more.
    using Samples = std::vector<std::pair<double, std::int64_t>>;
    const std::tuple<Samples, double, std::optional<double>> rates[] = {
        {{{0, 0}, {0.2, kMiB}}, 0, std::nullopt},  // too short to tell
        {{{0, 0}, {1, kMiB}}, kMiB, std::nullopt}, // not yet steady
        {{{0, 0}, {1, kMiB}, {2.5, 4 * kMiB}}, 1.6 * kMiB, 3.75},
        {{{0, 0}, {1, 0}, {2, 0}, {3, 3 * kMiB}, {5, 9 * kMiB}}, 3.0 * kMiB, 2}}; // stall forgotten
    for (const auto& [samples, speed, left] : rates) {
        qbk::TransferRate rate;
        for (const auto& [at, bytes] : samples)
            rate.sample(at, bytes);
        EXPECT_DOUBLE_EQ(rate.bytesPerSecond(), speed);
        EXPECT_EQ(rate.secondsLeft(6 * kMiB), left);
    }
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
