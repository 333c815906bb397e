#include "game/DownloadPool.h"

#include "platform/Digest.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <atomic>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <set>
#include <system_error>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::readWholeFile;
using test::TestHttpServer;
using test::writeWholeFile;

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
    // Counts the threads a run starts while starting them for real; start number refuse fails.
    PoolThreadStarter countingStarter(int refuse = 0) {
        return [this, refuse](std::function<void()> body) {
            if (++threadsStarted == refuse)
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(body));
        };
    }

    TestHttpServer server;
    test::TempDir dir{"qbk-pool"};
    std::atomic<int> threadsStarted{0};
};

TEST_F(DownloadPoolTest, ThreadsClampedOneThatCannotStartFailsTheRunAndAnEmptyListClearsTheError) {
    ASSERT_FALSE(DownloadAll({{server.url("/status/500"), dir / "bad", -1, {}}}, 1, {}));
    ASSERT_FALSE(PoolFirstError().empty());
    PoolRunResult result{"stale"};
    EXPECT_TRUE(DownloadAll(
        {}, 4, [](int, int) { FAIL(); }, &result, countingStarter()));
    EXPECT_EQ(threadsStarted.load(), 0);
    EXPECT_EQ(PoolFirstError(), "");
    EXPECT_EQ(result.firstError, "");

    std::vector<DownloadTask> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(bytesTask(10 + i, "f" + std::to_string(i)));
    const struct {
        int requested;
        std::size_t tasks;
        int expected;
    } cases[] = {{0, 40, 1}, {-5, 40, 1}, {100, 40, 32}, {33, 40, 32}, {16, 3, 3}, {7, 40, 7}};
    for (const auto& c : cases) {
        threadsStarted = 0;
        EXPECT_TRUE(DownloadAll({many.begin(), many.begin() + c.tasks}, c.requested, {}, nullptr,
                                countingStarter()));
        EXPECT_EQ(threadsStarted.load(), c.expected) << "requested " << c.requested;
    }
    threadsStarted = 0;
    bool ok = true;
    EXPECT_NO_THROW(ok = DownloadAll(many, 4, {}, &result, countingStarter(2)));
    EXPECT_FALSE(ok);
    EXPECT_EQ(threadsStarted.load(), 2);
    EXPECT_EQ(result.firstError.rfind("Не удалось запустить поток загрузки: ", 0), 0u);
    EXPECT_EQ(PoolFirstError(), result.firstError);
}

// A file of the expected size counts as present; a shorter one or one of unknown size is
// fetched again.
TEST_F(DownloadPoolTest, FetchesWhatIsMissingOrShortAndReportsEachDoneValueOnce) {
    std::vector<DownloadTask> tasks;
    for (int i = 0; i < 30; ++i)
        tasks.push_back(bytesTask(1000 + i, "sub/dir/f" + std::to_string(i)));
    writeWholeFile(tasks[0].path, std::string(1000, 'x'));
    writeWholeFile(tasks[1].path, std::string(1000, 'x'));
    tasks.push_back({server.url("/bytes/20"), dir / "unknown", -1, {}});
    writeWholeFile(tasks.back().path, std::string(20, 'x'));
    server.resetCounters();
    std::mutex seenMutex;
    std::multiset<int> seen;
    PoolRunResult result;
    ASSERT_TRUE(DownloadAll(
        tasks, 8,
        [&](int done, int total) {
            std::lock_guard lock(seenMutex);
            EXPECT_EQ(total, 31);
            seen.insert(done);
        },
        &result));
    EXPECT_EQ(seen.size(), 31u);
    for (int i = 1; i <= 31; ++i)
        EXPECT_EQ(seen.count(i), 1u) << i;
    EXPECT_EQ(server.requestsServed(), 30u);
    EXPECT_EQ(readWholeFile(tasks[0].path), std::string(1000, 'x'));
    for (std::size_t i = 1; i < 30; ++i)
        EXPECT_EQ(readWholeFile(tasks[i].path), TestHttpServer::patternBytes(1000 + i)) << i;
    EXPECT_EQ(readWholeFile(tasks.back().path), TestHttpServer::patternBytes(20));
    EXPECT_EQ(result.downloaded, 30);
    EXPECT_EQ(result.skipped, 1);
    EXPECT_EQ(result.bytesDownloaded, 29 * 1000 + (29 * 30 / 2) + 20);
}

TEST_F(DownloadPoolTest, ThreeTriesEachAndWrongBytesNeverReplaceTheTarget) {
    std::atomic<int> flaky{0}, liar{0};
    server.get("/flaky", [&](const httplib::Request&, httplib::Response& res, const auto&) {
        if (++flaky < 3)
            res.status = 503;
        else
            res.set_content("finally", "application/octet-stream");
    });
    server.get("/liar", [&](const httplib::Request&, httplib::Response& res, const auto&) {
        ++liar;
        res.set_content("tampered", "application/octet-stream"); // same size as "expected"
    });
    const DownloadTask good{server.url("/flaky"), dir / "flaky", 7, sha1Of("finally")};
    ASSERT_TRUE(DownloadAll({good}, 1, {}));
    EXPECT_EQ(flaky.load(), 3);
    EXPECT_EQ(readWholeFile(good.path), "finally");

    const DownloadTask bad{server.url("/liar"), dir / "liar", 8, sha1Of("expected")};
    writeWholeFile(bad.path, "old");
    PoolRunResult result;
    EXPECT_FALSE(DownloadAll({bad}, 1, {}, &result));
    EXPECT_EQ(liar.load(), 3);
    EXPECT_EQ(readWholeFile(bad.path), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2); // no temporary left
    EXPECT_EQ(result.firstError.rfind(bad.url + " -> ", 0), 0u) << result.firstError;
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
    for (std::size_t i = 0; i < tasks.size(); ++i)
        EXPECT_EQ(fs::exists(tasks[i].path), i == 0) << i;
}

TEST_F(DownloadPoolTest, OverlappingRunsKeepTheirOwnFirstError) {
    server.get("/slow-fail/(\\w+)",
               [](const httplib::Request&, httplib::Response& res, const auto&) {
                   std::this_thread::sleep_for(std::chrono::milliseconds(30));
                   res.status = 500;
               });
    PoolRunResult a, b;
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
