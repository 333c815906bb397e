// Cold play (empty launcher folder to started game) and warm play (everything in place)
// through the real launch worker against the stand-in world on 127.0.0.1. The game start
// watch is shortened and subtracted, so the figures are the launcher's own work; warm play
// also reports its ratio to cold play and the mirror requests it made.
#include "bench/StandInWorld.h"
#include "launch/LauncherWorker.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"

#include <QtGlobal>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <memory>

static void registerLauncherResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using qbk::test::StandInWorld;

constexpr std::chrono::milliseconds kWatch{200};

StandInWorld& world() {
    static StandInWorld instance;
    return instance;
}

double coldSeconds = 0; // mean launcher work of a cold play, for the warm ratio

// One launcher folder pointed at the world, with a signed-in player.
class LauncherFolder {
public:
    LauncherFolder() {
        world().writeIni(launcherDir_, world().endpoints());
        fs::create_directories(launcherDir_ / "minecraft");
        // The stand-in game ends itself shortly after it counted as started.
        std::ofstream(launcherDir_ / "minecraft" / "standin-java.json")
            << R"({"gameLifetimeSeconds": 2})";
        world().signIn(session_);
    }

    // Seconds of launcher work of one play, the watch taken out; negative on failure.
    double play() {
        qbk::LaunchSnapshot snapshot;
        snapshot.launcherDir = launcherDir_;
        snapshot.options.playerName = L"demo";
        snapshot.options.uuid = qbk::platform::utf8ToWide(session_.uuid);
        snapshot.options.accessToken = qbk::platform::utf8ToWide(session_.accessToken);
        snapshot.endpoints = world().endpoints();
        LauncherWorker worker(snapshot);
        worker.setGameStartWatch(kWatch);
        bool success = false;
        QObject::connect(&worker, &LauncherWorker::finished,
                         [&success](bool ok, const QString&) { success = ok; });
        const auto start = Clock::now();
        worker.run();
        const std::chrono::duration<double> spent = Clock::now() - start - kWatch;
        return success ? spent.count() : -1;
    }

private:
    qbk::test::TempDir dir_{"qbk-play-bench"};
    fs::path launcherDir_ = dir_ / "launcher";
    StandInWorld::SignIn session_;
};

void report(benchmark::State& state, double total, std::size_t requests, int runs) {
    state.counters["mirror_requests"] = static_cast<double>(requests) / runs;
    state.counters["launcher_ms"] = total / runs * 1000;
}

void BM_ColdPlay(benchmark::State& state) {
    if (!world().isReady()) {
        state.SkipWithError(world().error().c_str());
        return;
    }
    double total = 0;
    std::size_t requests = 0;
    int runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = std::make_unique<LauncherFolder>();
        world().mirror().resetCounters();
        state.ResumeTiming();
        const double seconds = folder->play();
        if (seconds < 0) {
            state.SkipWithError("the cold play failed");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        requests += world().mirror().requestsServed();
        ++runs;
        state.PauseTiming();
        folder.reset();
        state.ResumeTiming();
    }
    coldSeconds = total / runs;
    report(state, total, requests, runs);
}

void BM_WarmPlay(benchmark::State& state) {
    if (!world().isReady()) {
        state.SkipWithError(world().error().c_str());
        return;
    }
    LauncherFolder folder;
    if (folder.play() < 0) {
        state.SkipWithError("the cold play before the warm ones failed");
        return;
    }
    double total = 0;
    std::size_t requests = 0;
    int runs = 0;
    for (auto _ : state) {
        world().mirror().resetCounters();
        const double seconds = folder.play();
        if (seconds < 0) {
            state.SkipWithError("a warm play failed");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        requests += world().mirror().requestsServed();
        ++runs;
    }
    report(state, total, requests, runs);
    if (coldSeconds > 0)
        state.counters["ratio_to_cold"] = total / runs / coldSeconds;
}

BENCHMARK(BM_ColdPlay)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmPlay)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    registerLauncherResources();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
