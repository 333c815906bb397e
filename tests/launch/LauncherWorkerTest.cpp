#include "launch/LauncherWorker.h"

#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qbk::test::TempDir;
using qbk::test::TestHttpServer;

const QString kJavaFailure =
    QStringLiteral("Не удалось подготовить Java 21. Проверь подключение к интернету.");

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "worker-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Every signal of a run as one ordered list, so order and values are compared at once.
class Transcript {
public:
    explicit Transcript(LauncherWorker& worker) {
        QObject::connect(
            &worker, &LauncherWorker::statusChanged, &worker,
            [this](const QString& text) { add("status " + text.toStdString()); },
            Qt::DirectConnection);
        QObject::connect(
            &worker, &LauncherWorker::progressChanged, &worker,
            [this](int percent) { add("progress " + std::to_string(percent)); },
            Qt::DirectConnection);
        QObject::connect(
            &worker, &LauncherWorker::finished, &worker,
            [this](bool success, const QString& message) {
                add(std::string(success ? "ok " : "failed ") + message.toStdString());
            },
            Qt::DirectConnection);
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<int> percents() const {
        std::vector<int> values;
        for (const auto& line : lines())
            if (line.rfind("progress ", 0) == 0)
                values.push_back(std::stoi(line.substr(9)));
        return values;
    }

private:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// A launcher folder with a Cyrillic name and every outside host on a loopback server that
// knows none of the paths, unless a test adds routes.
class LauncherWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        const std::string base = server.url("/none");
        snapshot.launcherDir = launcherDir;
        snapshot.options = {L"Игрок", L"8667ba71-b85a-4004-af54-457a9734eed7", L"tok", 2048, 1024};
        snapshot.endpoints = {base, base, base, base, base, base, base, "mc.test.invalid",
                              base, ""};
        snapshot.target = qbk::TargetPlatform::host();
    }

    // The private runtime as an earlier launch left it, so the run goes past the Java step.
    void placeJava() {
        const fs::path bin = launcherDir / "runtime" / "java21" / "bin";
        fs::create_directories(bin);
        for (const std::string& name :
             {snapshot.target.javaExecutable, snapshot.target.javaWindowlessExecutable})
            std::ofstream(bin / name) << "#!/bin/sh\nexit 0\n";
    }

    fs::path gameDir() const { return launcherDir / "minecraft"; }

    TestHttpServer server;
    TempDir root{"qbk-worker"};
    fs::path launcherDir = root / qbk::platform::pathFromUtf8("Лаунчер");
    qbk::LaunchSnapshot snapshot;
};

TEST_F(LauncherWorkerTest, UnreachableRuntimeFailsOnceWithTheJavaTextAndTouchesNothingElse) {
    snapshot.endpoints.adoptium = "http://127.0.0.1:1"; // nothing listens on port 1
    LauncherWorker worker(snapshot);
    Transcript transcript(worker);
    QSignalSpy finished(&worker, &LauncherWorker::finished);
    QSignalSpy progress(&worker, &LauncherWorker::progressChanged);
    worker.run();

    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_EQ(finished.at(0).at(1).toString(), kJavaFailure);
    EXPECT_EQ(progress.count(), 0); // the bar stays where it was during the runtime step
    const std::vector<std::string> expected = {"status Проверка Java 21...",
                                               "failed " + kJavaFailure.toStdString()};
    EXPECT_EQ(transcript.lines(), expected);
    EXPECT_FALSE(fs::exists(gameDir()));
    EXPECT_FALSE(fs::exists(launcherDir / "authlib-injector.jar"));
}

TEST_F(LauncherWorkerTest, FailingVanillaInstallEndsWithTheInstallerTextAfterProgressEight) {
    placeJava();
    LauncherWorker worker(snapshot);
    Transcript transcript(worker);
    QSignalSpy finished(&worker, &LauncherWorker::finished);
    worker.run();

    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    const QString message = finished.at(0).at(1).toString();
    EXPECT_FALSE(message.isEmpty());
    EXPECT_NE(message, kJavaFailure);

    const auto lines = transcript.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "status Проверка Java 21...");
    EXPECT_EQ(lines[1], "progress 8");
    EXPECT_EQ(lines.back(), "failed " + message.toStdString());
    for (int percent : transcript.percents()) {
        EXPECT_GE(percent, 8);
        EXPECT_LT(percent, 88); // never reached the mods step
    }
    // Later steps were not attempted.
    for (const auto& line : lines)
        EXPECT_EQ(line.find("модов"), std::string::npos) << line;
    EXPECT_FALSE(fs::exists(gameDir() / "servers.dat"));
    EXPECT_FALSE(fs::exists(gameDir() / "mods"));
    EXPECT_FALSE(fs::exists(launcherDir / "authlib-injector.jar"));
}

TEST_F(LauncherWorkerTest, OnItsOwnThreadItFinishesOnceAndIsDeletedWhenTheThreadEnds) {
    // The runtime download stalls a little, so the run is still going when it is watched.
    server.get("/slow/.*", [](const httplib::Request&, httplib::Response& response, const auto&) {
        QThread::msleep(300);
        response.status = 404;
    });
    snapshot.endpoints.adoptium = server.url("/slow");

    QThread thread;
    auto* worker = new LauncherWorker(snapshot);
    QPointer<LauncherWorker> alive(worker);
    worker->moveToThread(&thread);
    QSignalSpy finished(worker, &LauncherWorker::finished);
    QObject::connect(&thread, &QThread::started, worker, &LauncherWorker::run);
    QObject::connect(worker, &LauncherWorker::finished, &thread, &QThread::quit);
    QObject::connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    thread.start();
    // finished reaches quit through this thread's event queue, as it reaches the window's.
    ASSERT_TRUE(QTest::qWaitFor([&] { return thread.isFinished(); }, 20000));

    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(1).toString(), kJavaFailure);
    QCoreApplication::processEvents();
    EXPECT_TRUE(alive.isNull());
}

TEST_F(LauncherWorkerTest, TheWorkerRunsOnItsOwnCopyOfTheSnapshot) {
    // What the caller changes after the play press does not reach the run.
    snapshot.endpoints.adoptium = "http://127.0.0.1:1";
    LauncherWorker worker(snapshot);
    snapshot.endpoints.adoptium = server.url("/none");
    QSignalSpy finished(&worker, &LauncherWorker::finished);
    worker.run();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(1).toString(), kJavaFailure);
    EXPECT_EQ(server.requestsServed(), 0u);
}

} // namespace
