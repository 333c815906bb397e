// Unpacks the 45 MB runtime archive of each target (written by tools/mirror/runtime_archive.py)
// with the launcher's extraction and with bsdtar -xf, in the same run, and prints the ratios.

#include "mods/ZipUtils.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using qbk::RuntimeArchiveFormat;

fs::path workDir;

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

void reportSize(benchmark::State& state, RuntimeArchiveFormat format) {
    state.counters["archive_MB"] = static_cast<double>(fs::file_size(archiveOf(format))) / 1e6;
}

void LauncherExtraction(benchmark::State& state, RuntimeArchiveFormat format) {
    const fs::path dest = workDir / "launcher-out";
    for (auto _ : state) {
        state.PauseTiming();
        freshDestination(dest);
        state.ResumeTiming();
        std::string error;
        if (!qbk::extractRuntimeArchive(archiveOf(format), dest, format, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    reportSize(state, format);
}

void BsdtarExtraction(benchmark::State& state, RuntimeArchiveFormat format) {
    const fs::path dest = workDir / "bsdtar-out";
    const std::string command =
        std::string(QBK_BSDTAR) + " -xf " + quoted(archiveOf(format)) + " -C " + quoted(dest);
    for (auto _ : state) {
        state.PauseTiming();
        freshDestination(dest);
        fs::create_directories(dest);
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("bsdtar failed");
            return;
        }
    }
    reportSize(state, format);
}

BENCHMARK_CAPTURE(LauncherExtraction, zip, RuntimeArchiveFormat::Zip)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(7);
BENCHMARK_CAPTURE(BsdtarExtraction, zip, RuntimeArchiveFormat::Zip)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(7);
BENCHMARK_CAPTURE(LauncherExtraction, targz, RuntimeArchiveFormat::TarGz)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(7);
BENCHMARK_CAPTURE(BsdtarExtraction, targz, RuntimeArchiveFormat::TarGz)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(7);

// Prints as usual and keeps each benchmark's real time per iteration for the ratios.
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

bool printRatio(const RecordingReporter& reporter, const std::string& format) {
    const auto ours =
        reporter.realTimes.find("LauncherExtraction/" + format + "/iterations:7/real_time");
    const auto theirs =
        reporter.realTimes.find("BsdtarExtraction/" + format + "/iterations:7/real_time");
    if (ours == reporter.realTimes.end() || theirs == reporter.realTimes.end() ||
        theirs->second <= 0) {
        std::printf("%s: ratio not measured (a benchmark failed or was filtered out)\n",
                    format.c_str());
        return false;
    }
    std::printf("%s: launcher %.1f ms, bsdtar -xf %.1f ms, ratio launcher/bsdtar %.2f "
                "(target <= 1.30)\n",
                format.c_str(), ours->second, theirs->second, ours->second / theirs->second);
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
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const bool zip = printRatio(reporter, "zip");
    const bool targz = printRatio(reporter, "targz");
    fs::remove_all(workDir);
    return zip && targz ? 0 : 1;
}
