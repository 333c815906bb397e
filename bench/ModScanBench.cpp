// The mod list's rescan of 300 jars (about 1.5 GB) against the stand-in Modrinth: the cold scan
// hashes every file, the warm one finds size and modification time unchanged in the cache.
// Both are measured as UI-thread time in the same run, round after round: the synchronous
// scanFolder call plus every event the application handles until scanFinished, and the
// longest single stall among them. Prints the medians and the warm/cold ratio.

#include "mods/ModrinthClient.h"
#include "platform/ChildProcess.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kJars = 300;
constexpr std::uintmax_t kJarBytes = 5'000'000;
constexpr int kRounds = 5;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Times every top-level event the UI thread handles: that is where it is busy.
class TimedApp : public QGuiApplication {
public:
    using QGuiApplication::QGuiApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        // Qt's network thread delivers its own events through here too; they are not the UI's.
        if (QThread::currentThread() != thread())
            return QGuiApplication::notify(receiver, event);
        if (depth_++ > 0) {
            const bool handled = QGuiApplication::notify(receiver, event);
            --depth_;
            return handled;
        }
        const auto start = Clock::now();
        const bool handled = QGuiApplication::notify(receiver, event);
        record(msBetween(start, Clock::now()));
        --depth_;
        return handled;
    }
    void record(double ms) {
        busyMs += ms;
        longestMs = std::max(longestMs, ms);
    }
    void reset() { busyMs = longestMs = 0; }

    double busyMs = 0;
    double longestMs = 0;

private:
    int depth_ = 0;
};

struct Sample {
    double scanCallMs = 0; // the synchronous part: listing, hashing, modFound
    double uiMs = 0;       // that plus all event handling until scanFinished
    double longestMs = 0;  // the longest single stall of the UI thread
};

// Sparse jars: a distinct head, the rest a hole that hashing still reads in full.
bool writeJars(const fs::path& dir) {
    fs::create_directories(dir);
    for (int i = 0; i < kJars; ++i) {
        const fs::path file = dir / ("mod-" + std::to_string(1000 + i) + ".jar");
        std::ofstream(file, std::ios::binary) << "PK jar number " << i << "\n";
        std::error_code ec;
        fs::resize_file(file, kJarBytes + static_cast<std::uintmax_t>(i), ec);
        if (ec)
            return false;
    }
    return true;
}

int startStandin(qbk::platform::ChildProcess& process, const fs::path& mods, const fs::path& out) {
    qbk::platform::ChildProcessSpec setup;
    setup.program = QBK_MODRINTH_STANDIN;
    setup.arguments = {"--port", "0", "--mods-dir", mods.string()};
    setup.outputFile = out;
    std::string error;
    int code = 0;
    if (!process.start(setup, error, code))
        return 0;
    // The stand-in hashes the jars itself before it serves; its last line is the last jar.
    for (int i = 0; i < 1200; ++i) {
        std::ifstream in(out);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        if (text.rfind("port=", 0) == 0 &&
            text.find("mod-" + std::to_string(1000 + kJars - 1)) != std::string::npos)
            return std::stoi(text.substr(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

bool scanOnce(TimedApp& app, qbk::ModrinthClient& client, const QString& folder, Sample& sample) {
    QSignalSpy finished(&client, &qbk::ModrinthClient::scanFinished);
    app.reset();
    const auto start = Clock::now();
    client.scanFolder(folder);
    sample.scanCallMs = msBetween(start, Clock::now());
    app.record(sample.scanCallMs);
    if (finished.isEmpty() && !finished.wait(120000))
        return false;
    sample.uiMs = app.busyMs;
    sample.longestMs = app.longestMs;
    return true;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Medians {
    double scanCallMs, uiMs, longestMs;
};

Medians mediansOf(const std::vector<Sample>& samples) {
    std::vector<double> call, ui, longest;
    for (const Sample& s : samples) {
        call.push_back(s.scanCallMs);
        ui.push_back(s.uiMs);
        longest.push_back(s.longestMs);
    }
    return {median(call), median(ui), median(longest)};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApp app(argc, argv);
    std::random_device seed;
    const fs::path work =
        fs::temp_directory_path() / ("qbk-modscan-bench-" + std::to_string(seed()));
    const fs::path mods = work / "mods";
    if (!writeJars(mods)) {
        std::printf("could not write the jars\n");
        fs::remove_all(work);
        return 1;
    }
    qbk::platform::ChildProcess standin;
    const int port = startStandin(standin, mods, work / "standin.out");
    if (port <= 0) {
        std::printf("the stand-in Modrinth did not start\n");
        standin.kill();
        fs::remove_all(work);
        return 1;
    }

    qbk::ModrinthClient::Config config;
    config.apiBase = QStringLiteral("http://127.0.0.1:%1/v2").arg(port);
    config.siteBase = QStringLiteral("https://modrinth.com");
    config.cacheFile = QString::fromStdString((work / "modcache.json").string());
    config.userAgent = QStringLiteral("Quellbrook-Launcher/1.0 (bench)");
    const QString folder = QString::fromStdString(mods.string());

    std::vector<Sample> cold, warm;
    bool ok = true;
    for (int round = 0; round < kRounds && ok; ++round) {
        // A new client with no cache file is the first start; the next one reads the cache.
        fs::remove(work / "modcache.json");
        Sample sample;
        {
            qbk::ModrinthClient client(config, nullptr);
            ok = scanOnce(app, client, folder, sample);
            cold.push_back(sample);
        }
        qbk::ModrinthClient client(config, nullptr);
        ok = ok && scanOnce(app, client, folder, sample);
        warm.push_back(sample);
    }
    standin.kill();
    fs::remove_all(work);
    if (!ok) {
        std::printf("a scan did not finish\n");
        return 1;
    }
    const Medians c = mediansOf(cold);
    const Medians w = mediansOf(warm);
    std::printf("%d jars, %.2f GB, median of %d rounds (cold = no cache, every file hashed)\n",
                kJars, kJars * static_cast<double>(kJarBytes) / 1e9, kRounds);
    std::printf("scanFolder call:   cold %8.1f ms   warm %7.1f ms   ratio warm/cold %.4f\n",
                c.scanCallMs, w.scanCallMs, w.scanCallMs / c.scanCallMs);
    std::printf("UI-thread time:    cold %8.1f ms   warm %7.1f ms   ratio warm/cold %.4f "
                "(target: warm < 50 ms)\n",
                c.uiMs, w.uiMs, w.uiMs / c.uiMs);
    std::printf("longest UI stall:  cold %8.1f ms   warm %7.1f ms\n", c.longestMs, w.longestMs);
    return 0;
}
