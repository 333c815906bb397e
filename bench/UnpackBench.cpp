// Unpacks the 45 MB runtime archive of each target (written by tools/mirror/runtime_archive.py)
// with the launcher's extraction and with bsdtar -xf, alternating within one run so that load
// from elsewhere on the machine hits both alike, and prints the ratio of the medians.

#include "mods/ZipUtils.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qbk::RuntimeArchiveFormat;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 9;

fs::path workDir;

struct Medians {
    double launcherMs = 0;
    double bsdtarMs = 0;
};
std::map<std::string, Medians> results;

std::string targetName(RuntimeArchiveFormat format) {
    return format == RuntimeArchiveFormat::Zip ? "windows" : "linux";
}

fs::path archiveOf(RuntimeArchiveFormat format) {
    return workDir / (format == RuntimeArchiveFormat::Zip ? "runtime.zip" : "runtime.tar.gz");
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

bool writeArchive(RuntimeArchiveFormat format) {
    const std::string command = std::string(QBK_PYTHON3) + " " + QBK_RUNTIME_ARCHIVE_SCRIPT + " " +
                                quoted(archiveOf(format)) + " --target " + targetName(format) +
                                " >/dev/null";
    return std::system(command.c_str()) == 0;
}

void freshDestination(const fs::path& dest) {
    std::error_code ec;
    fs::remove_all(dest, ec);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void LauncherAgainstBsdtar(benchmark::State& state, RuntimeArchiveFormat format) {
    const fs::path ours = workDir / "launcher-out";
    const fs::path theirs = workDir / "bsdtar-out";
    const std::string bsdtar =
        std::string(QBK_BSDTAR) + " -xf " + quoted(archiveOf(format)) + " -C " + quoted(theirs);
    std::vector<double> launcherMs;
    std::vector<double> bsdtarMs;
    for (auto _ : state) {
        freshDestination(ours);
        freshDestination(theirs);
        fs::create_directories(theirs);

        auto start = Clock::now();
        std::string error;
        if (!qbk::extractRuntimeArchive(archiveOf(format), ours, format, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        launcherMs.push_back(millisecondsSince(start));
        state.SetIterationTime(launcherMs.back() / 1000.0);

        start = Clock::now();
        if (std::system(bsdtar.c_str()) != 0) {
            state.SkipWithError("bsdtar failed");
            return;
        }
        bsdtarMs.push_back(millisecondsSince(start));
    }
    const Medians m{median(launcherMs), median(bsdtarMs)};
    results[format == RuntimeArchiveFormat::Zip ? "zip" : "targz"] = m;
    state.counters["archive_MB"] = static_cast<double>(fs::file_size(archiveOf(format))) / 1e6;
    state.counters["launcher_ms"] = m.launcherMs;
    state.counters["bsdtar_ms"] = m.bsdtarMs;
    state.counters["ratio"] = m.launcherMs / m.bsdtarMs;
}

BENCHMARK_CAPTURE(LauncherAgainstBsdtar, zip, RuntimeArchiveFormat::Zip)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kRounds);
BENCHMARK_CAPTURE(LauncherAgainstBsdtar, targz, RuntimeArchiveFormat::TarGz)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kRounds);

bool printRatio(const std::string& format) {
    const auto found = results.find(format);
    if (found == results.end() || found->second.bsdtarMs <= 0) {
        std::printf("%s: ratio not measured (a benchmark failed or was filtered out)\n",
                    format.c_str());
        return false;
    }
    const Medians& m = found->second;
    std::printf("%s: median of %d rounds: launcher %.1f ms, bsdtar -xf %.1f ms, "
                "ratio launcher/bsdtar %.2f (target <= 1.30)\n",
                format.c_str(), kRounds, m.launcherMs, m.bsdtarMs, m.launcherMs / m.bsdtarMs);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::random_device seed;
    workDir = fs::temp_directory_path() / ("qbk-unpack-bench-" + std::to_string(seed()));
    fs::create_directories(workDir);
    if (!writeArchive(RuntimeArchiveFormat::Zip) || !writeArchive(RuntimeArchiveFormat::TarGz)) {
        std::printf("could not write the runtime archives\n");
        fs::remove_all(workDir);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const bool zip = printRatio("zip");
    const bool targz = printRatio("targz");
    fs::remove_all(workDir);
    return zip && targz ? 0 : 1;
}
