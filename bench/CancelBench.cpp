// Cancel during a cold vanilla install of the full-size 1.21.1 mirror from nginx on loopback:
// the stop is asked for once a stage has a given share of its bytes, and the time until the
// install returns (when the worker emits finished and the button comes back) is measured. Each
// cancelled folder is then checked file by file (every file under its final name whole, no
// part left), resumed to completion and checked again against the mirror's list. Then whole
// launches in the stand-in world are stopped during the runtime download, the NeoForge
// installer's process and the mods download, and played to the end afterwards.

#include "app/Endpoints.h"
#include "bench/MirrorServer.h"
#include "bench/StandInWorld.h"
#include "game/MinecraftInstaller.h"
#include "launch/LaunchProgress.h"
#include "launch/LauncherWorker.h"
#include "platform/Digest.h"
#include "platform/Platform.h"
#include "tests/support/WholeFile.h"

#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path workDir;
std::string baseUrl;

// Forwards to the launch's own progress and asks for the stop at the chosen point.
class CancelAt : public qbk::TransferWatch {
public:
    CancelAt(std::wstring stage, double share)
        : stage_(std::move(stage)), share_(share), progress_({}, stop_) {}

    bool stopRequested() const override { return stop_->load(); }
    void received(std::int64_t bytes, std::int64_t total) override {
        progress_.received(bytes, total);
        done_ += bytes;
        if (active_ && !stop_->load() && done_ >= share_ * static_cast<double>(bytes_)) {
            stoppedAt_ = Clock::now();
            stop_->store(true);
        }
    }
    void beginDownloads(const std::wstring& text, std::int64_t bytes, int end) override {
        progress_.beginDownloads(text, bytes, end);
        active_ = text == stage_;
        bytes_ = bytes;
        done_ = 0;
    }
    void beginStep(const std::wstring& text, int end) override { progress_.beginStep(text, end); }

    bool stopped() const { return stop_->load(); }
    Clock::time_point stoppedAt() const { return stoppedAt_; }

private:
    std::wstring stage_;
    double share_;
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    qbk::LaunchProgress progress_;
    std::atomic<bool> active_{false};
    std::atomic<std::int64_t> bytes_{0};
    std::atomic<std::int64_t> done_{0};
    Clock::time_point stoppedAt_;
};

qbk::MinecraftInstaller installerIn(const fs::path& dir, qbk::TransferWatch* watch) {
    qbk::Endpoints endpoints = qbk::Endpoints::defaults();
    endpoints.mojangMeta = baseUrl;
    endpoints.mojangAssets = baseUrl + "/resources";
    qbk::MinecraftInstaller installer(dir / "minecraft", dir / "runtime", endpoints,
                                      qbk::TargetPlatform::linuxX64());
    qbk::TransferLimits limits;
    limits.watch = watch;
    installer.setTransferLimits(limits);
    return installer;
}

// Where the install keeps a file of the mirror's list; empty for the version manifest, which
// is read into memory only.
fs::path installedPath(const std::string& mirrorPath) {
    const fs::path path(mirrorPath);
    if (mirrorPath.starts_with("resources/"))
        return "assets/objects" / path.lexically_relative("resources");
    if (mirrorPath.starts_with("libraries/"))
        return path;
    if (path.filename() == "client.jar")
        return "versions/1.21.1/1.21.1.jar";
    if (path.filename() == "1.21.1.json")
        return "versions/1.21.1/1.21.1.json";
    if (mirrorPath.starts_with("v1/packages/"))
        return "assets/indexes" / path.filename();
    return {};
}

// Files of the mirror's list that are present (and whole) and those that are damaged; a
// ".part" anywhere counts as damaged.
struct Check {
    long present = 0, damaged = 0, listed = 0;
};

Check checkFiles(const fs::path& dir, const fs::path& list) {
    Check check;
    std::istringstream lines(qbk::test::readWholeFile(list));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string url, relative, size, sha1;
        std::getline(fields, url, '\t');
        std::getline(fields, relative, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, sha1, '\t');
        const fs::path installed = installedPath(relative);
        if (installed.empty())
            continue;
        ++check.listed;
        const fs::path file = dir / "minecraft" / installed;
        if (!fs::exists(file))
            continue;
        ++check.present;
        if (fs::file_size(file) != std::stoull(size) ||
            qbk::platform::hashFileHex(file, qbk::platform::HashAlgorithm::Sha1) != sha1)
            ++check.damaged;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().extension() == ".part")
            ++check.damaged;
    return check;
}

// The whole launch against the stand-in world (scaled mirror, stand-in java): stopped when the
// status names a step, timed from the stop to finished; the folder then plays to the end.
struct WorkerPoint {
    const char* name;
    QString status;
};

int cancelWholeLaunches() {
    qbk::test::StandInWorld world;
    qbk::test::StandInWorld::SignIn session;
    if (!world.isReady() || !world.signIn(session)) {
        std::printf("the stand-in world did not start: %s\n", world.error().c_str());
        return 1;
    }
    const WorkerPoint points[] = {{"java download", "Скачивание Java 21"},
                                  {"neoforge child", "Установка NeoForge: установщик"},
                                  {"mods download", "Скачивание модов"}};
    int status = 0;
    for (const WorkerPoint& point : points) {
        const fs::path dir = workDir / "worker";
        fs::remove_all(dir);
        fs::create_directories(dir / "minecraft");
        std::ofstream(dir / "minecraft" / "standin-java.json") << R"({"gameLifetimeSeconds": 2})";
        qbk::LaunchSnapshot snapshot;
        snapshot.launcherDir = dir;
        snapshot.options.playerName = L"demo";
        snapshot.options.uuid = qbk::platform::utf8ToWide(session.uuid);
        snapshot.options.accessToken = qbk::platform::utf8ToWide(session.accessToken);
        snapshot.endpoints = world.endpoints();
        const auto play = [&](bool stop, Clock::time_point& stoppedAt, QString& outcome) {
            LauncherWorker worker(snapshot);
            worker.setGameStartWatch(std::chrono::milliseconds(200));
            std::atomic<bool> asked{false};
            QObject::connect(&worker, &LauncherWorker::statusChanged, [&](const QString& text) {
                if (stop && text.startsWith(point.status) && !asked.exchange(true)) {
                    stoppedAt = Clock::now();
                    worker.cancel();
                }
            });
            QObject::connect(&worker, &LauncherWorker::finished,
                             [&](bool, const QString& text) { outcome = text; });
            worker.run();
            return Clock::now();
        };
        Clock::time_point stoppedAt{};
        QString stopped, resumed;
        const auto ended = play(true, stoppedAt, stopped);
        play(false, stoppedAt, resumed);
        long parts = 0;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            parts += entry.path().extension() == ".part";
        const double ms = std::chrono::duration<double, std::milli>(ended - stoppedAt).count();
        std::printf("%-14s cancel -> finished %7.1f ms (target < 1000): \"%s\" | resumed: \"%s\", "
                    "%ld part files\n",
                    point.name, ms, stopped.toStdString().c_str(), resumed.toStdString().c_str(),
                    parts);
        if (stopped != "Запуск отменён." || ms >= 1000 || resumed != "Игра запущена!" || parts)
            status = 1;
    }
    return status;
}

// Cancels cold installs from the full-size mirror at each point, then resumes them.
int cancelColdInstalls() {
    const fs::path mirror = QBK_BENCH_MIRROR_DIR;
    qbk::bench::MirrorServer server(mirror, workDir / "nginx");
    int status = server.start() ? 0 : 1;
    baseUrl = server.baseUrl();
    const struct {
        const wchar_t* stage;
        const char* name;
        double share;
    } points[] = {{L"Скачивание библиотек Minecraft", "libraries 50 %", 0.5},
                  {L"Скачивание ресурсов игры", "assets 5 %", 0.05},
                  {L"Скачивание ресурсов игры", "assets 50 %", 0.5},
                  {L"Скачивание ресурсов игры", "assets 95 %", 0.95}};
    for (const auto& point : points) {
        if (status != 0)
            break;
        const fs::path dir = workDir / "launcher";
        fs::remove_all(dir);
        CancelAt watch(point.stage, point.share);
        auto installer = installerIn(dir, &watch);
        const bool finished = installer.EnsureVanilla("1.21.1", {});
        const auto returned = Clock::now();
        const Check afterCancel = checkFiles(dir, mirror / "urls-linux.txt");
        auto resumed = installerIn(dir, nullptr);
        const bool completed = resumed.EnsureVanilla("1.21.1", {});
        const Check afterResume = checkFiles(dir, mirror / "urls-linux.txt");
        if (!watch.stopped() || finished) {
            std::printf("%-14s the stop point was not reached\n", point.name);
            status = 1;
            continue;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(returned - watch.stoppedAt()).count();
        std::printf("%-14s cancel -> returned %7.1f ms (target < 1000) | after cancel %ld whole, "
                    "%ld damaged | resumed %s: %ld of %ld whole, %ld damaged\n",
                    point.name, ms, afterCancel.present - afterCancel.damaged, afterCancel.damaged,
                    completed ? "ok" : "FAILED", afterResume.present - afterResume.damaged,
                    afterResume.listed, afterResume.damaged);
        if (ms >= 1000 || afterCancel.damaged || !completed || afterResume.damaged ||
            afterResume.present != afterResume.listed)
            status = 1;
    }
    return status;
}

} // namespace

int main() {
    std::random_device seed;
    workDir = fs::temp_directory_path() / ("qbk-cancel-bench-" + std::to_string(seed()));
    fs::create_directories(workDir);
    int status = cancelColdInstalls();
    Q_INIT_RESOURCE(resources); // the server list's icon
    if (cancelWholeLaunches() != 0)
        status = 1;
    fs::remove_all(workDir);
    return status;
}
