// No line the launcher writes carries the session: a real launch (and one whose game quits at
// once, so its log tail becomes the error text) runs in a child process whose standard
// streams are caught at the descriptor, then that output and every file the launch left are
// searched for the access token and the password.

#include "app/Settings.h"
#include "launch/LauncherWorker.h"
#include "platform/ChildProcess.h"
#include "platform/Platform.h"
#include "tests/e2e/StandInWorld.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <QtGlobal>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>

static void registerLauncherResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

namespace fs = std::filesystem;
using qbk::test::StandInWorld;
using namespace std::chrono_literals;

constexpr const char* kChildFolder = "QBK_SECRETS_LAUNCHER_DIR";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The child: one launch as the window starts it from the remembered session, every status
// and the outcome printed as the window would show them.
TEST(SecretsLaunchChild, RunsOneLaunch) {
    const QByteArray folder = qgetenv(kChildFolder);
    if (folder.isEmpty())
        GTEST_SKIP() << "started by SecretsEndToEnd only";
    registerLauncherResources();
    const fs::path launcherDir = qbk::platform::pathFromUtf8(folder.toStdString());
    qbk::Settings settings(launcherDir / "Quellbrook.ini");
    qbk::LaunchSnapshot snapshot;
    snapshot.launcherDir = launcherDir;
    snapshot.options.playerName = L"Игрок";
    snapshot.options.uuid = settings.uuid().toStdWString();
    snapshot.options.accessToken = settings.accessToken().toStdWString();
    snapshot.options.maxRamMb = settings.maxRamMb();
    snapshot.options.minRamMb = settings.minRamMb();
    snapshot.endpoints = settings.endpoints();
    LauncherWorker worker(snapshot);
    worker.setGameStartWatch(700ms);
    QObject::connect(
        &worker, &LauncherWorker::statusChanged, &worker,
        [](const QString& text) { std::cout << "status " << text.toStdString() << std::endl; },
        Qt::DirectConnection);
    QObject::connect(
        &worker, &LauncherWorker::finished, &worker,
        [](bool ok, const QString& message) {
            std::cout << (ok ? "ok " : "failed ") << message.toStdString() << std::endl;
        },
        Qt::DirectConnection);
    worker.run();
}

class SecretsEndToEnd : public ::testing::Test {
protected:
    static StandInWorld& world() {
        static StandInWorld instance;
        return instance;
    }

    void SetUp() override {
        ASSERT_TRUE(world().isReady()) << world().error();
        ASSERT_TRUE(world().signIn(session));
        world().writeIni(launcherDir, world().endpoints());
        qbk::Settings(launcherDir / "Quellbrook.ini")
            .saveSession(QString::fromStdString(session.accessToken), "client-token-1",
                         QString::fromStdString(session.uuid));
    }

    // Output of one launch in a child process; empty when it did not end in time.
    std::string launchInChild(const std::string& name) {
        qputenv(kChildFolder, QByteArray::fromStdString(qbk::platform::pathToUtf8(launcherDir)));
        qbk::platform::ChildProcessSpec setup;
        setup.program = qbk::platform::executablePath();
        setup.arguments = {"--gtest_filter=SecretsLaunchChild.*"};
        setup.outputFile = dir / (name + ".out");
        qbk::platform::ChildProcess child;
        std::string error;
        int code = 0;
        EXPECT_TRUE(child.start(setup, error, code)) << error;
        int exitCode = -1;
        if (child.waitFor(300s, exitCode) != qbk::platform::ChildProcess::WaitResult::Exited) {
            child.kill();
            return {};
        }
        EXPECT_EQ(exitCode, 0) << readFile(setup.outputFile);
        return readFile(setup.outputFile);
    }

    // Every secret found in the text, named by where it was.
    std::vector<std::string> leaks(const std::string& where, const std::string& text) const {
        std::vector<std::string> found;
        for (const auto& [name, secret] : secrets())
            if (text.find(secret) != std::string::npos)
                found.push_back(name + " in " + where);
        return found;
    }

    std::vector<std::pair<std::string, std::string>> secrets() const {
        return {{"access token", session.accessToken}, {"password", StandInWorld::kPassword}};
    }

    // The output and every file below the launcher folder but the INI, which must hold the
    // session to remember it.
    std::vector<std::string> leaksAfter(const std::string& output) const {
        std::vector<std::string> found = leaks("the launcher's streams", output);
        for (const auto& entry : fs::recursive_directory_iterator(launcherDir)) {
            if (!entry.is_regular_file() || entry.path() == launcherDir / "Quellbrook.ini")
                continue;
            const auto inFile = leaks(entry.path().string(), readFile(entry.path()));
            found.insert(found.end(), inFile.begin(), inFile.end());
        }
        return found;
    }

    qbk::test::TempDir dir{"qbk-secrets"};
    fs::path launcherDir = dir / qbk::platform::pathFromUtf8("Лаунчер Quellbrook");
    fs::path gameDir = launcherDir / "minecraft";
    StandInWorld::SignIn session;
};

TEST_F(SecretsEndToEnd, NoLineOfALaunchCarriesTheTokenOrThePassword) {
    writeFile(gameDir / "standin-java.json", R"({"gameLifetimeSeconds": 3})");
    const std::string launched = launchInChild("launched");
    ASSERT_NE(launched.find("ok Игра запущена!"), std::string::npos) << launched;
    // The token did reach the game, so the search below looked where it could have been.
    const auto report =
        nlohmann::json::parse(readFile(gameDir / "logs" / "standin-report.json"), nullptr, false);
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report.value("accessTokenLength", 0u), session.accessToken.size());
    EXPECT_NE(readFile(launcherDir / "Quellbrook.ini").find(session.accessToken),
              std::string::npos);
    EXPECT_EQ(leaksAfter(launched), std::vector<std::string>{});

    // A game that quits at once: its log tail becomes the message the player sees.
    writeFile(gameDir / "standin-java.json", R"({"gameExitCode": 3})");
    const std::string quit = launchInChild("quit");
    ASSERT_NE(quit.find("failed Java завершилась сразу (код 3)."), std::string::npos) << quit;
    EXPECT_EQ(leaksAfter(quit), std::vector<std::string>{});
}

} // namespace
