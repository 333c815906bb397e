// 1,000 small files from a loopback server: one HttpClient for all of them against a fresh
// client (a fresh easy handle and connection) per file. The two take turns in blocks, so both
// see the same load on a machine shared with other work; prints the ratio of their times.
// "disk:0" keeps the bodies in memory and measures the transfers alone; "disk:1" writes each
// into a new file, as the download pool does, and so includes the file system's cost.

#include "launch/HttpClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr int kFiles = 1000;
constexpr int kBlock = 50;
constexpr int kFileSize = 2048;
constexpr int kRepetitions = 5;

qbk::test::TestHttpServer* server = nullptr;

using Clock = std::chrono::steady_clock;

struct Timings {
    double reusedMs = 0;
    double freshMs = 0;
};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One transfer into memory, or into a file of its own below folder.
class Sink {
public:
    explicit Sink(const qbk::test::TempDir* folder) : folder_(folder) {}

    bool fetch(qbk::HttpClient& client, const std::string& url, const std::string& name) {
        if (!folder_)
            return client.DownloadToString(url, body_);
        return client.DownloadFile(url, *folder_ / name);
    }

private:
    const qbk::test::TempDir* folder_;
    std::string body_;
};

// Fetches files [first, first + kBlock); the text of the first failure, if any.
template <class ClientFor>
std::optional<std::string> fetchBlock(Sink& sink, const std::string& url, int first,
                                      const std::string& prefix, ClientFor clientFor) {
    for (int i = first; i < first + kBlock; ++i) {
        qbk::HttpClient& client = clientFor();
        if (!sink.fetch(client, url, prefix + std::to_string(i)))
            return client.LastError;
    }
    return std::nullopt;
}

void ReusedVersusFresh(benchmark::State& state) {
    const std::string url = server->url("/bytes/" + std::to_string(kFileSize));
    const bool toDisk = state.range(0) != 0;
    for (auto _ : state) {
        // New file names every run: truncating a file just written costs more than the
        // transfer and would blur the comparison.
        const auto folder = toDisk ? std::make_unique<qbk::test::TempDir>("qbk-bench") : nullptr;
        Sink sink(folder.get());
        server->resetCounters();
        Timings timings;
        qbk::HttpClient reused;
        std::optional<qbk::HttpClient> fresh;
        for (int first = 0; first < kFiles; first += kBlock) {
            auto start = Clock::now();
            auto failure = fetchBlock(sink, url, first, "reused-",
                                      [&]() -> qbk::HttpClient& { return reused; });
            timings.reusedMs += millisecondsSince(start);

            start = Clock::now();
            if (!failure)
                failure = fetchBlock(sink, url, first, "fresh-",
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
    ->ArgName("disk")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRepetitions);

// Prints as usual and keeps the counters of each variant's median over the repetitions.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {} // no colour codes in logs

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate &&
                run.aggregate_name == "median")
                medians[run.run_name.args] = run.counters;
    }
    std::map<std::string, benchmark::UserCounters> medians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    auto testServer = std::make_unique<qbk::test::TestHttpServer>();
    server = testServer.get();

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    if (reporter.medians.empty()) {
        std::printf("ratio: not measured (the benchmark failed or was filtered out)\n");
        return 1;
    }
    for (auto& [variant, median] : reporter.medians)
        std::printf("%s: %d files of %d bytes, median of %d runs: one reused client %.1f ms, a "
                    "fresh client per file %.1f ms, ratio fresh/reused %.2f\n",
                    variant.c_str(), kFiles, kFileSize, kRepetitions, median["reused_ms"].value,
                    median["fresh_ms"].value, median["ratio"].value);
    return 0;
}
