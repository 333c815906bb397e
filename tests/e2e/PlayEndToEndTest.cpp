// The real launch worker against the stand-in world, from an empty launcher folder to the
// started (stand-in) game, then again with everything in place.
#include "app/Settings.h"
#include "launch/LauncherWorker.h"
#include "platform/Platform.h"
#include "tests/e2e/StandInWorld.h"
#include "tests/support/TempDir.h"

#include <QSignalSpy>
#include <QtGlobal>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>

static void registerLauncherResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

namespace fs = std::filesystem;
using qbk::test::StandInWorld;
using qbk::test::TempDir;

constexpr std::chrono::milliseconds kWatch{700};
const std::string kLaunched = "Игра запущена!";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

StandInWorld& world() {
    static StandInWorld instance;
    return instance;
}

struct Outcome {
    std::vector<std::string> lines; // "status ...", "progress N", "ok ..." / "failed ..."
    int finishedCount = 0;
    bool success = false;
    std::string message;

    // The lines from the first one equal to `from` on.
    std::vector<std::string> tailFrom(const std::string& from) const {
        const auto it = std::find(lines.begin(), lines.end(), from);
        return {it, lines.end()};
    }
    std::vector<int> percents() const {
        std::vector<int> values;
        for (const auto& line : lines)
            if (line.rfind("progress ", 0) == 0)
                values.push_back(std::stoi(line.substr(9)));
        return values;
    }
};

// A launcher folder pointed at the world through its INI, as a player's would be.
class PlayEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registerLauncherResources(); }

    void SetUp() override {
        ASSERT_TRUE(world().isReady()) << world().error();
        ASSERT_TRUE(world().signIn(session));
        world().writeIni(launcherDir, world().endpoints());
        // The stand-in game ends itself soon after the watch, so no run leaves it behind.
        writeFile(gameDir() / "standin-java.json", R"({"gameLifetimeSeconds": 3})");
    }

    // The snapshot the window takes at the play press, from the INI and the session.
    qbk::LaunchSnapshot snapshot(const std::wstring& player) const {
        qbk::Settings settings(launcherDir / "Quellbrook.ini");
        qbk::LaunchSnapshot s;
        s.launcherDir = launcherDir;
        s.options.playerName = player;
        s.options.uuid = qbk::platform::utf8ToWide(session.uuid);
        s.options.accessToken = qbk::platform::utf8ToWide(session.accessToken);
        s.options.maxRamMb = 3072;
        s.options.minRamMb = 1024;
        s.endpoints = settings.endpoints();
        return s;
    }

    Outcome play(const qbk::LaunchSnapshot& s) {
        LauncherWorker worker(s);
        worker.setGameStartWatch(kWatch);
        Outcome outcome;
        std::mutex mutex;
        const auto add = [&](std::string line) {
            std::lock_guard lock(mutex);
            outcome.lines.push_back(std::move(line));
        };
        QObject::connect(
            &worker, &LauncherWorker::statusChanged, &worker,
            [&](const QString& text) { add("status " + text.toStdString()); },
            Qt::DirectConnection);
        QObject::connect(
            &worker, &LauncherWorker::progressChanged, &worker,
            [&](int percent) { add("progress " + std::to_string(percent)); }, Qt::DirectConnection);
        QSignalSpy finished(&worker, &LauncherWorker::finished);
        worker.run();
        outcome.finishedCount = static_cast<int>(finished.count());
        if (!finished.isEmpty()) {
            outcome.success = finished.at(0).at(0).toBool();
            outcome.message = finished.at(0).at(1).toString().toStdString();
        }
        return outcome;
    }

    nlohmann::json report() const {
        return nlohmann::json::parse(readFile(gameDir() / "logs" / "standin-report.json"), nullptr,
                                     false);
    }
    fs::path gameDir() const { return launcherDir / "minecraft"; }

    TempDir dir{"qbk-e2e"};
    fs::path launcherDir = dir / qbk::platform::pathFromUtf8("Лаунчер Quellbrook");
    StandInWorld::SignIn session;
};

// The sequence from the end of the installations on, the same on every successful run.
const std::vector<std::string> kSuccessTail = {"progress 88",
                                               "status Получение списка модов...",
                                               "status Синхронизация модов...",
                                               "progress 92",
                                               "status Подготовка запуска игры...",
                                               "status Подготовка авторизации...",
                                               "progress 96",
                                               "status Запуск игры...",
                                               "progress 100"};

void expectSuccessfulRun(const Outcome& outcome) {
    ASSERT_EQ(outcome.finishedCount, 1);
    ASSERT_TRUE(outcome.success) << outcome.message;
    EXPECT_EQ(outcome.message, kLaunched);
    ASSERT_GE(outcome.lines.size(), 2u);
    EXPECT_EQ(outcome.lines[0], "status Проверка Java 21...");
    EXPECT_EQ(outcome.lines[1], "progress 8");
    EXPECT_EQ(outcome.tailFrom("progress 88"), kSuccessTail);
    // The installers' share of the bar stays between 8 and 88.
    const std::vector<int> percents = outcome.percents();
    for (std::size_t i = 1; i + 4 < percents.size(); ++i) {
        EXPECT_GE(percents[i], 8);
        EXPECT_LE(percents[i], 88);
    }
}

TEST_F(PlayEndToEnd, ColdThenWarmPlayStartsTheGameWithTheSessionTheModsAndTheServerList) {
    const std::string localMod = "my-own-shader-mod.jar";
    writeFile(gameDir() / "mods" / localMod, "PK local");

    const Outcome cold = play(snapshot(L"Игрок"));
    expectSuccessfulRun(cold);

    // The stand-in java checked the command line as a JVM needs it and reported it.
    const nlohmann::json first = report();
    ASSERT_TRUE(first.is_object());
    EXPECT_EQ(first.value("ok", false), true) << first.dump(2);
    EXPECT_EQ(first.value("username", ""), "Игрок");
    EXPECT_EQ(first.value("uuid", ""), session.uuid);
    EXPECT_EQ(first.value("accessTokenLength", 0u), session.accessToken.size());
    EXPECT_EQ(first.value("xmxMb", 0), 3072);
    EXPECT_EQ(first.value("xmsMb", 0), 1024);
    EXPECT_EQ(first.value("mainClass", ""), first.value("versionMainClass", "?"));
    EXPECT_EQ(first["javaagent"].value("apiRoot", ""), world().accountBase());
    EXPECT_EQ(first["javaagent"].value("jar", ""),
              qbk::platform::pathToUtf8(launcherDir / "authlib-injector.jar"));
    EXPECT_EQ(first["jvmArgs"].back().get<std::string>().rfind("-javaagent:", 0), 0u);

    // Files on disk.
    const qbk::TargetPlatform host = qbk::TargetPlatform::host();
    EXPECT_TRUE(fs::exists(launcherDir / "runtime" / "java21" / "bin" / host.javaExecutable));
    EXPECT_TRUE(fs::exists(gameDir() / "versions" / "1.21.1" / "1.21.1.json"));
    EXPECT_TRUE(fs::exists(gameDir() / "versions" / "1.21.1" / "1.21.1.jar"));
    EXPECT_EQ(readFile(gameDir() / "versions" / "neoforge-21.1.230" / "neoforge-21.1.230.json"),
              readFile(fs::path(QBK_TESTDATA_DIR) / "neoforge" / "neoforge-21.1.230.json"));
    EXPECT_TRUE(fs::exists(gameDir() / "logs" / "launcher_java.log"));
    const std::string servers = readFile(gameDir() / "servers.dat");
    EXPECT_NE(servers.find(std::string("\x00\x0AQuellbrook", 12)), std::string::npos);
    EXPECT_NE(servers.find(std::string("\x00\x09") + StandInWorld::kGameServer), std::string::npos);
    EXPECT_NE(servers.find("iVBORw0KGgo"), std::string::npos); // the icon, a PNG in Base64

    // The server's mods arrived byte for byte; the player's own mod stays.
    for (const auto& mod : world().mods())
        EXPECT_EQ(readFile(gameDir() / "mods" / fs::u8path(mod.fileName)), mod.bytes)
            << mod.fileName;
    EXPECT_EQ(readFile(gameDir() / "mods" / localMod), "PK local");
    std::size_t modFiles = 0;
    for (const auto& entry : fs::directory_iterator(gameDir() / "mods")) {
        EXPECT_EQ(entry.path().extension(), ".jar") << entry.path(); // no partial files left
        ++modFiles;
    }
    EXPECT_EQ(modFiles, world().mods().size() + 1);

    // Warm: everything is in place; only the NeoForge version list is asked of the mirror,
    // and an empty player name launches as "Player".
    const std::string serversBefore = servers;
    world().mirror().resetCounters();
    const Outcome warm = play(snapshot(L""));
    expectSuccessfulRun(warm);
    // The installers name their steps also when every file is in place, so the proof that
    // nothing was fetched is the mirror's count.
    EXPECT_EQ(world().mirror().requestsServed(), 1u);
    const nlohmann::json second = report();
    EXPECT_EQ(second.value("ok", false), true) << second.dump(2);
    EXPECT_EQ(second.value("username", ""), "Player");
    EXPECT_EQ(readFile(gameDir() / "servers.dat"), serversBefore);
}

TEST_F(PlayEndToEnd, ModAndAgentFailuresEndTheRunOnceAndStartNoGame) {
    // A listed mod that the server does not have: the sync fails and nothing later runs.
    qbk::LaunchSnapshot broken = snapshot(L"Игрок");
    const fs::path mod = fs::path(QBK_E2E_MIRROR_DIR) / "server-mods" / "jei-1.21.1-19.21.jar";
    const std::string modBytes = readFile(mod);
    fs::remove(mod);
    const Outcome failedSync = play(broken);
    writeFile(mod, modBytes);
    EXPECT_EQ(failedSync.finishedCount, 1);
    EXPECT_FALSE(failedSync.success);
    EXPECT_EQ(failedSync.message, "Ошибка синхронизации модов.");
    EXPECT_EQ(failedSync.lines.back(), "status Синхронизация модов...");
    EXPECT_FALSE(fs::exists(gameDir() / "servers.dat"));
    EXPECT_FALSE(fs::exists(launcherDir / "authlib-injector.jar"));
    EXPECT_FALSE(fs::exists(gameDir() / "logs" / "standin-report.json"));

    // No manifest (the account server is not there) only warns; then the agent cannot be had.
    qbk::LaunchSnapshot noAgent = snapshot(L"Игрок");
    noAgent.endpoints.accountServer = world().mirrorBase() + "/no-account-server";
    noAgent.endpoints.authlibInjector = world().mirrorBase() + "/no-agent";
    const Outcome failedAgent = play(noAgent);
    EXPECT_EQ(failedAgent.finishedCount, 1);
    EXPECT_FALSE(failedAgent.success);
    EXPECT_EQ(failedAgent.message, "Не удалось скачать authlib-injector — без него сервер не "
                                   "пустит. Проверь интернет.");
    const std::vector<std::string> tail = {
        "progress 88",
        "status Получение списка модов...",
        "status Манифест недоступен — использую локальные моды...",
        "progress 92",
        "status Подготовка запуска игры...",
        "status Подготовка авторизации..."};
    EXPECT_EQ(failedAgent.tailFrom("progress 88"), tail);
    EXPECT_TRUE(fs::exists(gameDir() / "servers.dat")); // written before the agent step
    EXPECT_FALSE(fs::exists(launcherDir / "authlib-injector.jar"));
    EXPECT_FALSE(fs::exists(gameDir() / "logs" / "standin-report.json"));

    // With the world back, the same folder launches.
    expectSuccessfulRun(play(snapshot(L"Игрок")));
}

} // namespace
