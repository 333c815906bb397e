// 1,000 small files from a loopback server: one HttpClient for all of them against a fresh
// client (a fresh easy handle and connection) per file. Prints the ratio of the two.

#include "launch/HttpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int kFiles = 1000;
constexpr int kFileSize = 2048;

qbk::test::TestHttpServer* server = nullptr;
qbk::test::TempDir* folder = nullptr;

std::string fileUrl() {
    return server->url("/bytes/" + std::to_string(kFileSize));
}

std::filesystem::path fileTarget(int index) {
    return *folder / ("file-" + std::to_string(index) + ".bin");
}

void reportConnections(benchmark::State& state) {
    state.counters["connections/iter"] =
        static_cast<double>(server->connectionsOpened()) / static_cast<double>(state.iterations());
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFiles,
                                                   benchmark::Counter::kIsRate);
}

void OneReusedClient(benchmark::State& state) {
    const std::string url = fileUrl();
    server->resetCounters();
    for (auto _ : state) {
        qbk::HttpClient client;
        for (int i = 0; i < kFiles; ++i) {
            if (!client.DownloadFile(url, fileTarget(i))) {
                state.SkipWithError(client.LastError.c_str());
                return;
            }
        }
    }
    reportConnections(state);
}

void FreshClientPerFile(benchmark::State& state) {
    const std::string url = fileUrl();
    server->resetCounters();
    for (auto _ : state) {
        for (int i = 0; i < kFiles; ++i) {
            qbk::HttpClient client;
            if (!client.DownloadFile(url, fileTarget(i))) {
                state.SkipWithError(client.LastError.c_str());
                return;
            }
        }
    }
    reportConnections(state);
}

BENCHMARK(OneReusedClient)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(FreshClientPerFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Prints as usual and keeps each benchmark's real time per iteration for the ratio.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred)
                realTimes[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> realTimes;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    auto testServer = std::make_unique<qbk::test::TestHttpServer>();
    auto testFolder = std::make_unique<qbk::test::TempDir>("qbk-bench");
    server = testServer.get();
    folder = testFolder.get();

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto reused = reporter.realTimes.find("OneReusedClient/iterations:5/real_time");
    const auto fresh = reporter.realTimes.find("FreshClientPerFile/iterations:5/real_time");
    if (reused == reporter.realTimes.end() || fresh == reporter.realTimes.end() ||
        reused->second <= 0) {
        std::printf("ratio: not measured (a benchmark failed or was filtered out)\n");
        return 1;
    }
    std::printf("%d files of %d bytes: reused client %.1f ms, fresh client per file %.1f ms, "
                "ratio fresh/reused %.2f\n",
                kFiles, kFileSize, reused->second, fresh->second, fresh->second / reused->second);
    return 0;
}
