// Cold install of the full-size 1.21.1 mirror through EnsureVanilla from nginx on loopback,
// against curl --parallel --parallel-max 32 fetching the same URLs into a fresh folder (and
// curl followed by sha1sum), alternating within one run; then a warm re-run on the complete
// install, with the requests that reached nginx counted from its access log, and the peak RSS.

#include "app/Endpoints.h"
#include "bench/MirrorServer.h"
#include "game/MinecraftInstaller.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <benchmark/benchmark.h>
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

constexpr int kRounds = 3;

fs::path workDir;
fs::path mirrorDir;
std::string baseUrl;
fs::path accessLog;

struct Figures {
    std::vector<double> launcherMs, curlMs, sha1sumMs, warmMs;
    long long warmRequests = -1;
    long long coldRequests = -1;
    long long files = 0;
};
Figures figures;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long long accessLogLines() {
    const std::string log = qbk::test::readWholeFile(accessLog);
    return std::count(log.begin(), log.end(), '\n');
}

// Peak resident set of this process so far, from the kernel's own record.
long long peakRssKb() {
    std::istringstream status(qbk::test::readWholeFile("/proc/self/status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    return -1;
}

// curl's config file: one url/output pair per file that a Linux install fetches.
fs::path writeCurlConfig(const fs::path& dest) {
    const fs::path config = workDir / "curl.cfg";
    std::ofstream out(config);
    std::istringstream lines(qbk::test::readWholeFile(mirrorDir / "urls-linux.txt"));
    figures.files = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string url, relative;
        std::getline(fields, url, '\t');
        std::getline(fields, relative, '\t');
        out << "url = \"" << url << "\"\noutput = \"" << (dest / relative).string() << "\"\n";
        ++figures.files;
    }
    return config;
}

qbk::MinecraftInstaller installerIn(const fs::path& launcherDir) {
    qbk::Endpoints endpoints = qbk::Endpoints::defaults();
    endpoints.mojangMeta = baseUrl;
    endpoints.mojangAssets = baseUrl + "/resources";
    return qbk::MinecraftInstaller(launcherDir / "minecraft", launcherDir / "runtime", endpoints,
                                   qbk::TargetPlatform::linuxX64());
}

void ColdInstallAgainstCurl(benchmark::State& state) {
    const fs::path ours = workDir / "launcher";
    const fs::path theirs = workDir / "curl";
    const fs::path config = writeCurlConfig(theirs);
    const std::string curl =
        "curl --parallel --parallel-max 32 --silent --no-progress-meter --show-error --fail "
        "--create-dirs -K " +
        qbk::bench::shellQuoted(config);
    const std::string sha1sum = "cd " + qbk::bench::shellQuoted(theirs) +
                                " && find . -type f -print0 | xargs -0 "
                                "-n 500 -P 1 sha1sum > /dev/null";
    for (auto _ : state) {
        fs::remove_all(ours);
        fs::remove_all(theirs);

        const long long before = accessLogLines();
        auto start = Clock::now();
        auto installer = installerIn(ours);
        if (!installer.EnsureVanilla("1.21.1", {})) {
            state.SkipWithError("EnsureVanilla failed");
            return;
        }
        figures.launcherMs.push_back(millisecondsSince(start));
        figures.coldRequests = accessLogLines() - before;
        state.SetIterationTime(figures.launcherMs.back() / 1000.0);

        start = Clock::now();
        if (std::system(curl.c_str()) != 0) {
            state.SkipWithError("curl failed");
            return;
        }
        figures.curlMs.push_back(millisecondsSince(start));
        start = Clock::now();
        std::system(sha1sum.c_str());
        figures.sha1sumMs.push_back(millisecondsSince(start));
    }
    state.counters["launcher_ms"] = median(figures.launcherMs);
    state.counters["curl_ms"] = median(figures.curlMs);
    state.counters["ratio"] = median(figures.launcherMs) / median(figures.curlMs);
}

void WarmRerun(benchmark::State& state) {
    const fs::path ours = workDir / "launcher";
    for (auto _ : state) {
        const long long before = accessLogLines();
        const auto start = Clock::now();
        auto installer = installerIn(ours);
        if (!installer.EnsureVanilla("1.21.1", {})) {
            state.SkipWithError("warm EnsureVanilla failed");
            return;
        }
        figures.warmMs.push_back(millisecondsSince(start));
        figures.warmRequests = accessLogLines() - before;
        state.SetIterationTime(figures.warmMs.back() / 1000.0);
    }
    state.counters["warm_ms"] = median(figures.warmMs);
    state.counters["requests"] = static_cast<double>(figures.warmRequests);
}

BENCHMARK(ColdInstallAgainstCurl)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kRounds);
BENCHMARK(WarmRerun)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void printFigures() {
    const double cold = median(figures.launcherMs);
    const double curl = median(figures.curlMs);
    const double curlSha = median(figures.sha1sumMs) + curl;
    const double warm = median(figures.warmMs);
    std::printf("files per install: %lld, requests at nginx per cold install: %lld\n",
                figures.files, figures.coldRequests);
    std::printf("cold install (median of %d): launcher %.0f ms, curl --parallel-max 32 %.0f ms, "
                "ratio %.2f (target <= 1.25)\n",
                kRounds, cold, curl, curl > 0 ? cold / curl : 0);
    std::printf("against curl + sha1sum %.0f ms: ratio %.2f\n", curlSha,
                curlSha > 0 ? cold / curlSha : 0);
    std::printf("warm re-run: %.1f ms = %.2f %% of cold (target < 2 %%), requests at nginx: %lld\n",
                warm, cold > 0 ? 100.0 * warm / cold : 0, figures.warmRequests);
    std::printf("peak RSS of the process: %.1f MB (target < 150 MB)\n", peakRssKb() / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::random_device seed;
    workDir = fs::temp_directory_path() / ("qbk-install-bench-" + std::to_string(seed()));
    mirrorDir = fs::path(QBK_BENCH_MIRROR_DIR);
    fs::create_directories(workDir);
    bool generated = false;
    {
        qbk::bench::MirrorServer mirror(mirrorDir, workDir / "nginx");
        generated = mirror.start();
        baseUrl = mirror.baseUrl();
        accessLog = mirror.accessLog();
        if (generated) {
            benchmark::RunSpecifiedBenchmarks();
            printFigures();
        }
        benchmark::Shutdown();
    }
    fs::remove_all(workDir);
    return generated ? 0 : 1;
}
