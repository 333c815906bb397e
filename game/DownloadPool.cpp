#include "game/DownloadPool.h"

#include "launch/HttpClient.h"
#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>

namespace qbk {

namespace {

constexpr int kMaxThreads = 32;
constexpr int kAttempts = 3;

std::mutex gFirstErrorMutex;
std::string gFirstError;

void setProcessFirstError(const std::string& text, bool onlyWhenEmpty) {
    std::lock_guard lock(gFirstErrorMutex);
    if (!onlyWhenEmpty || gFirstError.empty())
        gFirstError = text;
}

class PoolRun {
public:
    PoolRun(const std::vector<DownloadTask>& tasks, const PoolProgressFn& progress,
            const TransferLimits& limits)
        : tasks_(tasks), progress_(progress), limits_(limits),
          total_(static_cast<int>(tasks.size())) {}

    void work() {
        try {
            HttpClient client(limits_);
            while (!stop_.load()) {
                if (stopRequested()) {
                    fail(kStoppedText);
                    return;
                }
                const std::size_t index = nextIndex_.fetch_add(1);
                if (index >= tasks_.size())
                    return;
                if (!complete(tasks_[index], client))
                    return;
                reportDone();
            }
        } catch (const std::exception& error) {
            fail(std::string("Сбой потока загрузки: ") + error.what());
        } catch (...) {
            fail("Сбой потока загрузки");
        }
    }

    void fail(const std::string& text) {
        {
            std::lock_guard lock(resultMutex_);
            if (result_.firstError.empty())
                result_.firstError = text;
        }
        setProcessFirstError(text, true);
        stop_.store(true);
    }

    bool succeeded() const { return !stop_.load(); }
    PoolRunResult result() const {
        std::lock_guard lock(resultMutex_);
        return result_;
    }

private:
    bool complete(const DownloadTask& task, HttpClient& client) {
        if (task.expectedSize >= 0) {
            const auto size = platform::fileSize(task.path);
            if (size && static_cast<std::int64_t>(*size) == task.expectedSize) {
                count(false, 0);
                return true;
            }
        }
        if (task.path.has_parent_path())
            platform::createDirectories(task.path.parent_path());
        const DownloadCheck check = DownloadCheck::sha1(task.expectedSha1, task.expectedSize);
        for (int attempt = 0; attempt < kAttempts && !stopRequested(); ++attempt) {
            if (client.DownloadVerified(task.url, task.path, check)) {
                const auto size = platform::fileSize(task.path);
                count(true, size ? static_cast<std::int64_t>(*size) : 0);
                return true;
            }
        }
        fail(stopRequested() ? std::string(kStoppedText) : task.url + " -> " + client.LastError);
        return false;
    }

    bool stopRequested() const { return limits_.watch && limits_.watch->stopRequested(); }

    void count(bool downloaded, std::int64_t bytes) {
        std::lock_guard lock(resultMutex_);
        (downloaded ? result_.downloaded : result_.skipped) += 1;
        result_.bytesDownloaded += bytes;
    }

    void reportDone() {
        const int done = finished_.fetch_add(1) + 1;
        if (!progress_)
            return;
        std::lock_guard lock(progressMutex_);
        progress_(done, total_);
    }

    const std::vector<DownloadTask>& tasks_;
    const PoolProgressFn& progress_;
    const TransferLimits& limits_;
    const int total_;
    std::atomic<std::size_t> nextIndex_{0};
    std::atomic<int> finished_{0};
    std::atomic<bool> stop_{false};
    std::mutex progressMutex_;
    mutable std::mutex resultMutex_;
    PoolRunResult result_;
};

std::thread startPlainThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

} // namespace

bool DownloadAll(const std::vector<DownloadTask>& tasks, int threadCount,
                 const PoolProgressFn& progress, PoolRunResult* result,
                 const PoolThreadStarter& startThread, const TransferLimits& limits) {
    setProcessFirstError({}, false);
    if (result)
        *result = {};
    if (tasks.empty())
        return true;

    const int wanted = std::min(std::clamp(threadCount, 1, kMaxThreads),
                                static_cast<int>(std::min<std::size_t>(tasks.size(), kMaxThreads)));
    const PoolThreadStarter& start =
        startThread ? startThread : PoolThreadStarter(startPlainThread);
    PoolRun run(tasks, progress, limits);
    std::vector<std::thread> threads;
    threads.reserve(wanted);
    for (int i = 0; i < wanted; ++i) {
        try {
            threads.push_back(start([&run] { run.work(); }));
        } catch (const std::exception& error) {
            run.fail(std::string("Не удалось запустить поток загрузки: ") + error.what());
            break;
        }
    }
    for (auto& thread : threads)
        if (thread.joinable())
            thread.join();

    if (result)
        *result = run.result();
    return run.succeeded();
}

std::int64_t BytesToFetch(const std::vector<DownloadTask>& tasks) {
    std::int64_t bytes = 0;
    for (const DownloadTask& task : tasks) {
        const auto size = platform::fileSize(task.path);
        if (task.expectedSize > 0 &&
            (!size || static_cast<std::int64_t>(*size) != task.expectedSize))
            bytes += task.expectedSize;
    }
    return bytes;
}

std::string PoolFirstError() {
    std::lock_guard lock(gFirstErrorMutex);
    return gFirstError;
}

} // namespace qbk
