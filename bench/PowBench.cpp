// Proof-of-work search: the optimised solver against the rule done literally (a fresh
// digest per attempt, candidate rebuilt as a string, one thread), in the same run.

#include "accounts/NonceSearch.h"
#include "accounts/ProofOfWork.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

namespace {

constexpr int kChallenges = 4;

std::string challengeFor(int round) {
    return "bench-challenge-" + std::to_string(round);
}

std::uint64_t literalSearch(const std::string& challenge, int bits) {
    std::uint64_t nonce = 0;
    while (!qbk::pow::nonceMeetsDifficulty(challenge, nonce, bits))
        ++nonce;
    return nonce;
}

std::uint64_t fastSearch(const std::string& challenge, int bits, unsigned threads) {
    const std::atomic<bool> stop{false};
    return qbk::pow::findSmallestNonce(challenge, bits, stop, {threads}).nonce.value_or(0);
}

void reportAttempts(benchmark::State& state, double attempts, unsigned threads) {
    state.counters["attempts/s"] = benchmark::Counter(attempts, benchmark::Counter::kIsRate);
    state.counters["attempts/s/core"] =
        benchmark::Counter(attempts / threads, benchmark::Counter::kIsRate);
}

void literal(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    double attempts = 0;
    int round = 0;
    for (auto _ : state)
        attempts += double(literalSearch(challengeFor(round++ % kChallenges), bits) + 1);
    reportAttempts(state, attempts, 1);
}

void fast(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const auto threads = static_cast<unsigned>(state.range(1));
    double attempts = 0;
    int round = 0;
    for (auto _ : state)
        attempts += double(fastSearch(challengeFor(round++ % kChallenges), bits, threads) + 1);
    reportAttempts(state, attempts, threads);
}

const int kAllCores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

BENCHMARK(literal)
    ->Arg(16)
    ->Arg(20)
    ->Iterations(kChallenges)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(fast)
    ->Args({16, 1})
    ->Args({20, 1})
    ->Args({16, kAllCores})
    ->Args({20, kAllCores})
    ->Iterations(kChallenges)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Prints, after the usual table, how many times faster the solver is than the literal rule.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            seconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* bits : {"16", "20"}) {
            const double reference = find(std::string("literal/") + bits);
            const double one = find(std::string("fast/") + bits + "/1");
            const double all = find(std::string("fast/") + bits + "/" + std::to_string(kAllCores));
            if (reference > 0 && one > 0 && all > 0)
                std::printf("%s bits: %.1fx faster on one core, %.1fx on %d cores\n", bits,
                            reference / one, reference / all, kAllCores);
        }
    }

private:
    double find(const std::string& prefix) const {
        for (const auto& [name, time] : seconds_)
            if (name.rfind(prefix, 0) == 0)
                return time;
        return 0;
    }
    std::map<std::string, double> seconds_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
