#include "game/DownloadPool.h"

#include "platform/Digest.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::TestHttpServer;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string sha1Of(const std::string& bytes) {
    platform::Digest digest(platform::HashAlgorithm::Sha1);
    digest.update(bytes);
    return digest.finishHex();
}

class DownloadPoolTest : public ::testing::Test {
protected:
    DownloadTask bytesTask(int size, const std::string& name) {
        return {server.url("/bytes/" + std::to_string(size)), dir / "out" / name, size,
                sha1Of(TestHttpServer::patternBytes(size))};
    }

    // Counts the threads a run starts while starting them for real.
    PoolThreadStarter countingStarter() {
        return [this](std::function<void()> body) {
            ++threadsStarted;
            return std::thread(std::move(body));
        };
    }

    void failOnce() {
        const std::vector<DownloadTask> bad{{server.url("/status/500"), dir / "bad", -1, {}}};
        ASSERT_FALSE(DownloadAll(bad, 1, {}));
        ASSERT_FALSE(PoolFirstError().empty());
    }

    TestHttpServer server;
    test::TempDir dir{"qbk-pool"};
    std::atomic<int> threadsStarted{0};
};

TEST_F(DownloadPoolTest, EmptyListSucceedsAtOnceAndClearsTheFirstError) {
    failOnce();
    int calls = 0;
    PoolRunResult result;
    result.firstError = "stale";
    EXPECT_TRUE(DownloadAll(
        {}, 4, [&](int, int) { ++calls; }, &result, countingStarter()));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(threadsStarted.load(), 0);
    EXPECT_EQ(PoolFirstError(), "");
    EXPECT_EQ(result.firstError, "");
}

TEST_F(DownloadPoolTest, ThreadCountIsClampedToOneToThirtyTwoAndToTheTaskCount) {
    std::vector<DownloadTask> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(bytesTask(10 + i, "f" + std::to_string(i)));
    const struct {
        int requested;
        std::size_t tasks;
        int expected;
    } cases[] = {{0, 40, 1}, {-5, 40, 1}, {100, 40, 32}, {16, 3, 3}, {7, 40, 7}};
    for (const auto& c : cases) {
        threadsStarted = 0;
        const std::vector<DownloadTask> tasks(many.begin(), many.begin() + c.tasks);
        EXPECT_TRUE(DownloadAll(tasks, c.requested, {}, nullptr, countingStarter()));
        EXPECT_EQ(threadsStarted.load(), c.expected) << "requested " << c.requested;
    }
}

TEST_F(DownloadPoolTest, DownloadsEveryFileAndReportsEachDoneValueOnce) {
    std::vector<DownloadTask> tasks;
    for (int i = 0; i < 30; ++i)
        tasks.push_back(bytesTask(1000 + i, "sub/dir/f" + std::to_string(i)));
    std::mutex seenMutex;
    std::multiset<int> seen;
    PoolRunResult result;
    ASSERT_TRUE(DownloadAll(
        tasks, 8,
        [&](int done, int total) {
            std::lock_guard lock(seenMutex);
            EXPECT_EQ(total, 30);
            seen.insert(done);
        },
        &result));
    std::multiset<int> expected;
    for (int i = 1; i <= 30; ++i)
        expected.insert(i);
    EXPECT_EQ(seen, expected);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(readAll(tasks[i].path), TestHttpServer::patternBytes(1000 + i));
    EXPECT_EQ(result.downloaded, 30);
    EXPECT_EQ(result.skipped, 0);
    EXPECT_EQ(result.bytesDownloaded, 30 * 1000 + 29 * 30 / 2);
}

TEST_F(DownloadPoolTest, PresentFileOfExpectedSizeIsKeptWithoutTransferAndStillReported) {
    DownloadTask same = bytesTask(64, "same");
    writeAll(same.path, std::string(64, 'x')); // right size, other content: kept
    DownloadTask shorter = bytesTask(64, "shorter");
    writeAll(shorter.path, std::string(10, 'x'));
    server.resetCounters();
    int reported = 0;
    PoolRunResult result;
    ASSERT_TRUE(DownloadAll(
        {same, shorter}, 2, [&](int, int) { ++reported; }, &result));
    EXPECT_EQ(reported, 2);
    EXPECT_EQ(server.requestsServed(), 1u);
    EXPECT_EQ(readAll(same.path), std::string(64, 'x'));
    EXPECT_EQ(readAll(shorter.path), TestHttpServer::patternBytes(64));
    EXPECT_EQ(result.skipped, 1);
    EXPECT_EQ(result.downloaded, 1);
}

TEST_F(DownloadPoolTest, UnknownSizeIsAlwaysFetched) {
    DownloadTask task{server.url("/bytes/20"), dir / "unknown", -1, {}};
    writeAll(task.path, std::string(20, 'x'));
    server.resetCounters();
    ASSERT_TRUE(DownloadAll({task}, 1, {}));
    EXPECT_EQ(server.requestsServed(), 1u);
    EXPECT_EQ(readAll(task.path), TestHttpServer::patternBytes(20));
}

TEST_F(DownloadPoolTest, TwoFailuresThenSuccessCountsAsSuccess) {
    std::atomic<int> attempts{0};
    server.get("/flaky", [&](const httplib::Request&, httplib::Response& res, const std::smatch&) {
        if (++attempts < 3)
            res.status = 503;
        else
            res.set_content("finally", "application/octet-stream");
    });
    const DownloadTask task{server.url("/flaky"), dir / "flaky", 7, sha1Of("finally")};
    ASSERT_TRUE(DownloadAll({task}, 1, {}));
    EXPECT_EQ(attempts.load(), 3);
    EXPECT_EQ(readAll(task.path), "finally");
}

TEST_F(DownloadPoolTest, WrongBytesAreAFailedAttemptAndNeverReplaceTheTarget) {
    std::atomic<int> attempts{0};
    server.get("/liar", [&](const httplib::Request&, httplib::Response& res, const std::smatch&) {
        ++attempts;
        res.set_content("tampered", "application/octet-stream"); // same size as "expected"
    });
    const DownloadTask task{server.url("/liar"), dir / "liar", 8, sha1Of("expected")};
    writeAll(task.path, "old");
    PoolRunResult result;
    EXPECT_FALSE(DownloadAll({task}, 1, {}, &result));
    EXPECT_EQ(attempts.load(), 3);
    EXPECT_EQ(readAll(task.path), "old");
    EXPECT_EQ(result.firstError.rfind(task.url + " -> ", 0), 0u) << result.firstError;
    EXPECT_EQ(result.downloaded, 0);
}

TEST_F(DownloadPoolTest, PermanentFailureStopsTheRunAndNamesTheTask) {
    std::vector<DownloadTask> tasks{bytesTask(5, "first"),
                                    {server.url("/status/404"), dir / "missing", 3, {}}};
    for (int i = 0; i < 5; ++i)
        tasks.push_back(bytesTask(100 + i, "later" + std::to_string(i)));
    server.resetCounters();
    PoolRunResult result;
    EXPECT_FALSE(DownloadAll(tasks, 1, {}, &result));
    const std::string expected = tasks[1].url + " -> HTTP код ответа: 404";
    EXPECT_EQ(PoolFirstError(), expected);
    EXPECT_EQ(result.firstError, expected);
    EXPECT_EQ(server.requestsServed(), 1u + 3u); // the first task, then three tries
    EXPECT_TRUE(fs::exists(tasks[0].path));
    EXPECT_FALSE(fs::exists(tasks[1].path));
    for (std::size_t i = 2; i < tasks.size(); ++i)
        EXPECT_FALSE(fs::exists(tasks[i].path)) << i;
}

TEST_F(DownloadPoolTest, ThreadThatCannotStartFailsTheRunWithoutThrowing) {
    std::vector<DownloadTask> tasks;
    for (int i = 0; i < 6; ++i)
        tasks.push_back(bytesTask(50 + i, "t" + std::to_string(i)));
    int starts = 0;
    const PoolThreadStarter refuseSecond = [&](std::function<void()> body) {
        if (++starts == 2)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    };
    PoolRunResult result;
    bool ok = true;
    EXPECT_NO_THROW(ok = DownloadAll(tasks, 4, {}, &result, refuseSecond));
    EXPECT_FALSE(ok);
    EXPECT_EQ(starts, 2);
    EXPECT_NE(result.firstError.find("Не удалось запустить поток загрузки"), std::string::npos);
    EXPECT_EQ(PoolFirstError(), result.firstError);
}

TEST_F(DownloadPoolTest, OverlappingRunsKeepTheirOwnFirstError) {
    server.get("/slow-fail/(\\w+)",
               [](const httplib::Request&, httplib::Response& res, const std::smatch&) {
                   std::this_thread::sleep_for(std::chrono::milliseconds(30));
                   res.status = 500;
               });
    PoolRunResult a;
    PoolRunResult b;
    const std::vector<DownloadTask> tasksA{{server.url("/slow-fail/a"), dir / "a", -1, {}}};
    const std::vector<DownloadTask> tasksB{{server.url("/slow-fail/b"), dir / "b", -1, {}}};
    std::thread other([&] { DownloadAll(tasksB, 1, {}, &b); });
    DownloadAll(tasksA, 1, {}, &a);
    other.join();
    EXPECT_EQ(a.firstError.rfind(tasksA[0].url + " -> ", 0), 0u) << a.firstError;
    EXPECT_EQ(b.firstError.rfind(tasksB[0].url + " -> ", 0), 0u) << b.firstError;
}

} // namespace
} // namespace qbk
