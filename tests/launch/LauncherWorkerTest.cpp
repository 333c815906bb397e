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

const std::string kJavaFailure = "Не удалось подготовить Java 21. Проверь подключение к интернету.";

// Every signal of a run as one ordered list, written on the worker's thread (the connections
// are direct, the worker being their context); read only after the run is over.
struct Transcript {
    explicit Transcript(LauncherWorker& w) {
        QObject::connect(&w, &LauncherWorker::statusChanged, &w,
                         [this](const QString& text) { add("status ", text.toStdString()); });
        QObject::connect(&w, &LauncherWorker::progressChanged, &w,
                         [this](int percent) { add("progress ", std::to_string(percent)); });
        QObject::connect(&w, &LauncherWorker::finished, &w, [this](bool ok, const QString& text) {
            add(ok ? "ok " : "failed ", text.toStdString());
        });
    }
    void add(const char* kind, const std::string& text) { lines.push_back(kind + text); }
    std::vector<std::string> lines;
};

// On the play window's thread the same runs end the same way (PlayButtonTest). The launcher
// folder has a Cyrillic name; every outside host is a loopback server that knows no path.
TEST(LauncherWorkerTest, EachRunEndsOnceAtItsFailingStepWithThatStepsText) {
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
        {base, base, base, base, base, base, base, "mc.test.invalid", base, ""}};
    snapshot.endpoints.adoptium = "http://127.0.0.1:1"; // nothing listens on port 1
    LauncherWorker javaless(snapshot);
    Transcript first(javaless);
    javaless.run();
    // The bar stays where it was during the runtime step; nothing else is touched.
    EXPECT_EQ(first.lines,
              (std::vector<std::string>{"status Проверка Java 21...", "failed " + kJavaFailure}));
    EXPECT_FALSE(fs::exists(gameDir));

    // The private runtime as an earlier launch left it, so the run goes past the Java step; the
    // vanilla install finds nothing on the server.
    for (const std::string& name :
         {snapshot.target.javaExecutable, snapshot.target.javaWindowlessExecutable})
        qbk::test::writeWholeFile(launcherDir / "runtime/java21/bin" / name, "#!/bin/sh\n");
    LauncherWorker worker(snapshot);
    Transcript transcript(worker);
    worker.run();
    const auto& lines = transcript.lines;
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "status Проверка Java 21...");
    EXPECT_EQ(lines[1], "progress 8");
    EXPECT_TRUE(lines.back().starts_with("failed ") && lines.back().size() > 7) << lines.back();
    EXPECT_NE(lines.back(), "failed " + kJavaFailure);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_FALSE(lines[i].starts_with("failed ") || lines[i].starts_with("ok ")) << i;
        EXPECT_EQ(lines[i].find("модов"), std::string::npos) << lines[i]; // mods step not reached
        const int percent = lines[i].starts_with("progress ") ? std::stoi(lines[i].substr(9)) : 8;
        EXPECT_TRUE(percent >= 8 && percent < 88) << lines[i];
    }
    EXPECT_FALSE(fs::exists(gameDir / "servers.dat"));
    EXPECT_FALSE(fs::exists(gameDir / "mods"));
    EXPECT_FALSE(fs::exists(launcherDir / "authlib-injector.jar"));
}

} // namespace
