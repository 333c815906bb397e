#pragma once

#include "launch/TransferLimits.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qbk {

// One file for the pool to fetch.
struct DownloadTask {
    std::string url;
    std::filesystem::path path;
    std::int64_t expectedSize = -1; // -1: unknown, the file is always fetched
    std::string expectedSha1;       // empty: no digest check of the fetched bytes
};

// What one run did; firstError is this run's own text, untouched by overlapping runs.
struct PoolRunResult {
    std::string firstError;
    int downloaded = 0;
    int skipped = 0;
    std::int64_t bytesDownloaded = 0;
};

// Called with (done, total) on a pool thread, never twice at once.
using PoolProgressFn = std::function<void(int done, int total)>;

// Starts one pool thread; may throw like std::thread's constructor. Replaceable for tests.
using PoolThreadStarter = std::function<std::thread(std::function<void()> body)>;

// Fetches every task on up to 32 threads (at least 1, at most one per task). A present file of
// exactly expectedSize bytes is kept without a transfer; a fetch is tried 3 times and must
// match expectedSize and expectedSha1 where they are given. The first task that fails for good
// stops the run: tasks not yet taken are not started, and the result is false. The limits'
// watch sees every block and, once it asks to stop, ends the run the same way.
bool DownloadAll(const std::vector<DownloadTask>& tasks, int threadCount,
                 const PoolProgressFn& progress, PoolRunResult* result = nullptr,
                 const PoolThreadStarter& startThread = {}, const TransferLimits& limits = {});

// The bytes of the tasks whose file is not yet there at its expected size.
std::int64_t BytesToFetch(const std::vector<DownloadTask>& tasks);

// The first failure text of the latest run in the process ("url -> error").
std::string PoolFirstError();

} // namespace qbk
