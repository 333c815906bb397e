#include "game/DownloadPool.h"

#include "tests/support/Digests.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <system_error>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
using test::TestHttpServer;
const auto sha1Of = test::sha1Hex;
class DownloadPoolTest : public ::testing::Test {
protected:
    std::vector<DownloadTask> tasks(int count, int size, const std::string& name) {
        std::vector<DownloadTask> list;
        for (int i = size; i < size + count; ++i)
            list.push_back({server.url("/bytes/" + std::to_string(i)),
                            dir / (name + std::to_string(i - size)), i,
                            sha1Of(TestHttpServer::patternBytes(i))});
        return list;
    }
    // Counts the threads a run starts while starting them for real; start number refuse fails.
    PoolThreadStarter countingStarter(int refuse = 0) {
        threads = 0;
        return [this, refuse](std::function<void()> body) {
            if (++threads == refuse)
                throw std::system_error(std::make_error_code(std::errc::too_many_files_open));
            return std::thread(std::move(body));
        };
    }
    TestHttpServer server;
    test::TempDir dir{"qbk-pool"};
    std::atomic<int> threads{0};
    PoolRunResult result{"stale"};
};
TEST_F(DownloadPoolTest, ThreadsClampedAndAFailedThreadFailsTheRunWithItsReason) {
    const std::vector<DownloadTask> many = tasks(40, 10, "f");
    for (const auto& [requested, count, expected] :
         {std::tuple{0, 40, 1}, {-5, 40, 1}, {100, 40, 32}, {33, 40, 32}, {16, 3, 3}, {7, 40, 7}}) {
        EXPECT_TRUE(DownloadAll({many.begin(), many.begin() + count}, requested, {}, nullptr,
                                countingStarter()));
        EXPECT_EQ(threads.load(), expected) << "requested " << requested;
    }
    bool ok = true;
    EXPECT_NO_THROW(ok = DownloadAll(many, 4, {}, &result, countingStarter(2)));
    EXPECT_EQ(std::tuple(ok, threads.load()), std::tuple(false, 2));
    EXPECT_EQ(result.firstError.rfind("Не удалось запустить поток загрузки: ", 0), 0u);
    // Whatever a pool thread meets, even no std::exception, fails the run, not the process.
    EXPECT_FALSE(DownloadAll(
        many, 1, [](int, int) { throw 1; }, &result));
    EXPECT_EQ(result.firstError, "Сбой потока загрузки");
}
TEST_F(DownloadPoolTest, FetchesWhatIsMissingOrShortAndReportsEachDoneValueOnce) {
    std::vector<DownloadTask> list = tasks(30, 1000, "sub/dir/f");
    list.push_back({server.url("/bytes/20"), dir / "unknown", -1, {}});
    for (const std::size_t i : {0, 1, 30})
        test::writeWholeFile(list[i].path, std::string(i == 30 ? 20 : 1000, 'x'));
    std::mutex mutex;
    std::multiset<int> seen, each;
    const auto progress = [&](int done, int total) {
        std::lock_guard lock(mutex);
        seen.insert(done * 100 + total);
    };
    ASSERT_TRUE(DownloadAll(list, 8, progress, &result));
    for (int i = 1; i <= 31; ++i)
        each.insert(i * 100 + 31);
    EXPECT_EQ(seen, each);
    EXPECT_EQ(server.requestsServed(), 30u);
    EXPECT_EQ(readWholeFile(list[0].path), std::string(1000, 'x'));
    for (std::size_t i = 1; i < 30; ++i)
        EXPECT_EQ(readWholeFile(list[i].path), TestHttpServer::patternBytes(1000 + i)) << i;
    EXPECT_EQ(readWholeFile(list.back().path), TestHttpServer::patternBytes(20));
    EXPECT_EQ(std::tuple(result.downloaded, result.skipped, result.bytesDownloaded),
              std::tuple(30, 1, std::int64_t{29 * 1000 + (29 * 30 / 2) + 20}));
}
// Three tries each; bytes the task's SHA-1 refuses never replace the target; the first task
// that fails for good stops the run and leads its error.
TEST_F(DownloadPoolTest, ThreeTriesThenTheFailureStopsTheRunAndNamesTheTask) {
    std::atomic<int> flaky{0}, liar{0};
    server.get("/flaky", [&](auto&, auto& res, const auto&) {
        ++flaky < 3 ? void(res.status = 503) : res.set_content("ok", "x/y");
    });
    server.get("/liar",
               [&](auto&, auto& res, const auto&) { ++liar, res.set_content("tampered", "x/y"); });
    ASSERT_TRUE(DownloadAll({{server.url("/flaky"), dir / "flaky", 2, sha1Of("ok")}}, 1, {}));
    EXPECT_EQ(readWholeFile(dir / "flaky") + std::to_string(flaky), "ok3");
    test::writeWholeFile(dir / "liar", "old");
    EXPECT_FALSE(DownloadAll({{server.url("/liar"), dir / "liar", 8, sha1Of("expected")}}, 1, {}));
    EXPECT_EQ(readWholeFile(dir / "liar") + std::to_string(liar), "old3");
    std::vector<DownloadTask> list = tasks(6, 100, "later");
    list.insert(list.begin() + 1, {server.url("/status/404"), dir / "404", 3, {}});
    server.resetCounters();
    EXPECT_FALSE(DownloadAll(list, 1, {}, &result));
    EXPECT_EQ(result.firstError, list[1].url + " -> HTTP код ответа: 404");
    EXPECT_EQ(PoolFirstError(), result.firstError);
    EXPECT_EQ(server.requestsServed(), 1u + 3u); // the first task, then three tries
    for (std::size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(fs::exists(list[i].path), i == 0) << i;
}
} // namespace
} // namespace qbk
