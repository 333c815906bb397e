// 1,000 small files from a loopback server: one HttpClient for all of them against a fresh
// client (a fresh easy handle and connection) per file. The two take turns in blocks, so both
// see the same load on a machine shared with other work; prints the ratio of their times.

#include "launch/HttpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr int kFiles = 1000;
constexpr int kBlock = 50;
constexpr int kFileSize = 2048;
constexpr int kRepetitions = 5;

qbk::test::TestHttpServer* server = nullptr;
qbk::test::TempDir* folder = nullptr;

using Clock = std::chrono::steady_clock;

struct Timings {
    double reusedMs = 0;
    double freshMs = 0;
};

std::filesystem::path fileTarget(int index) {
    return *folder / ("file-" + std::to_string(index) + ".bin");
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Downloads files [first, first + kBlock); the text of the first failure, if any.
template <class ClientFor>
std::optional<std::string> downloadBlock(const std::string& url, int first, ClientFor clientFor) {
    for (int i = first; i < first + kBlock; ++i) {
        qbk::HttpClient& client = clientFor();
        if (!client.DownloadFile(url, fileTarget(i)))
            return client.LastError;
    }
    return std::nullopt;
}

void ReusedVersusFresh(benchmark::State& state) {
    const std::string url = server->url("/bytes/" + std::to_string(kFileSize));
    for (auto _ : state) {
        server->resetCounters();
        Timings timings;
        qbk::HttpClient reused;
        std::optional<qbk::HttpClient> fresh;
        for (int first = 0; first < kFiles; first += kBlock) {
            auto start = Clock::now();
            auto failure = downloadBlock(url, first, [&]() -> qbk::HttpClient& { return reused; });
            timings.reusedMs += millisecondsSince(start);

            start = Clock::now();
            if (!failure)
                failure = downloadBlock(url, first,
                                        [&]() -> qbk::HttpClient& { return fresh.emplace(); });
            timings.freshMs += millisecondsSince(start);
            if (failure) {
                state.SkipWithError(failure->c_str());
                return;
            }
        }
        state.SetIterationTime((timings.reusedMs + timings.freshMs) / 1000.0);
        state.counters["reused_ms"] = timings.reusedMs;
        state.counters["fresh_ms"] = timings.freshMs;
        state.counters["ratio"] = timings.freshMs / timings.reusedMs;
        state.counters["connections"] = static_cast<double>(server->connectionsOpened());
    }
}

BENCHMARK(ReusedVersusFresh)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRepetitions);

// Prints as usual and keeps the counters of the median over the repetitions.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {} // no colour codes in logs
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate &&
                run.aggregate_name == "median")
                median = run.counters;
    }
    benchmark::UserCounters median;
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

    if (reporter.median.count("ratio") == 0) {
        std::printf("ratio: not measured (the benchmark failed or was filtered out)\n");
        return 1;
    }
    std::printf("%d files of %d bytes, median of %d runs: one reused client %.1f ms, a fresh "
                "client per file %.1f ms, ratio fresh/reused %.2f\n",
                kFiles, kFileSize, kRepetitions, reporter.median["reused_ms"].value,
                reporter.median["fresh_ms"].value, reporter.median["ratio"].value);
    return 0;
}
