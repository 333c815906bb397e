#include "launch/HttpClient.h"

#include "launch/CaBundle.h"
#include "platform/Digest.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHttpServer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <curl/curl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>
#include <vector>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TestHttpServer;
using Clock = std::chrono::steady_clock;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string digestOf(const std::string& bytes, platform::HashAlgorithm algorithm) {
    platform::Digest digest(algorithm);
    digest.update(bytes);
    return digest.finishHex();
}

fs::path partialOf(const fs::path& target) {
    fs::path partial = target;
    partial += ".part";
    return partial;
}

std::string curlText(CURLcode code) {
    return curl_easy_strerror(code);
}

// The server is declared first, so every client of a test closes its connection before the
// server stops.
class HttpClientTest : public ::testing::Test {
protected:
    TestHttpServer server;
    TempDir dir;
    HttpClient client;
};

// --- Download into a file -------------------------------------------------------------------

TEST_F(HttpClientTest, FileReceivesTheWholeBodyOfASuccessfulAnswer) {
    const fs::path destination = dir / "data.bin";
    ASSERT_TRUE(client.DownloadFile(server.url("/bytes/300000"), destination)) << client.LastError;
    EXPECT_EQ(readFile(destination), TestHttpServer::patternBytes(300000));
    EXPECT_TRUE(client.LastError.empty());
}

TEST_F(HttpClientTest, ErrorAnswerWithBodyLeavesNoFile) {
    const fs::path destination = dir / "missing.bin";
    writeFile(destination, "an older file");
    EXPECT_FALSE(client.DownloadFile(server.url("/status/404"), destination));
    EXPECT_EQ(client.LastError, "HTTP код ответа: 404");
    EXPECT_FALSE(fs::exists(destination));
}

TEST_F(HttpClientTest, TenRedirectsAreFollowedAndTheEleventhFails) {
    const fs::path destination = dir / "hops.txt";
    ASSERT_TRUE(client.DownloadFile(server.url("/redirect/10"), destination)) << client.LastError;
    EXPECT_EQ(readFile(destination), "done");

    EXPECT_FALSE(client.DownloadFile(server.url("/redirect/11"), destination));
    EXPECT_EQ(client.LastError, curlText(CURLE_TOO_MANY_REDIRECTS));
    EXPECT_FALSE(fs::exists(destination));

    std::string body;
    EXPECT_TRUE(client.DownloadToString(server.url("/redirect/10"), body));
    EXPECT_EQ(body, "done");
    EXPECT_FALSE(client.DownloadToString(server.url("/redirect/11"), body));
    EXPECT_EQ(client.LastError, curlText(CURLE_TOO_MANY_REDIRECTS));
}

TEST_F(HttpClientTest, ProgressRefusingItsFirstCallAbortsAndDeletesTheFile) {
    const fs::path destination = dir / "aborted.bin";
    int calls = 0;
    const bool ok = client.DownloadFile(server.url("/bytes/500000"), destination,
                                        [&](std::int64_t, std::int64_t) {
                                            ++calls;
                                            return false;
                                        });
    EXPECT_FALSE(ok);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(client.LastError, curlText(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_FALSE(fs::exists(destination));
}

TEST_F(HttpClientTest, ProgressSeesTotalZeroWithoutLengthAndTheAnnouncedTotalWithIt) {
    struct Seen {
        std::int64_t lastReceived = 0;
        std::int64_t maxTotal = 0;
    };
    const auto recorder = [](Seen& seen) {
        return [&seen](std::int64_t received, std::int64_t total) {
            seen.lastReceived = received;
            seen.maxTotal = std::max(seen.maxTotal, total);
            return true;
        };
    };
    Seen chunked;
    ASSERT_TRUE(client.DownloadFile(server.url("/chunked/70000"), dir / "a", recorder(chunked)));
    EXPECT_EQ(chunked.maxTotal, 0);
    EXPECT_EQ(chunked.lastReceived, 70000);
    EXPECT_EQ(readFile(dir / "a"), TestHttpServer::patternBytes(70000));

    Seen sized;
    ASSERT_TRUE(client.DownloadFile(server.url("/bytes/70000"), dir / "b", recorder(sized)));
    EXPECT_EQ(sized.maxTotal, 70000);
    EXPECT_EQ(sized.lastReceived, 70000);
}

TEST_F(HttpClientTest, SuccessKeepsTheTextOfAnEarlierFailure) {
    EXPECT_FALSE(client.DownloadFile(server.url("/status/500"), dir / "x"));
    ASSERT_EQ(client.LastError, "HTTP код ответа: 500");
    std::string body;
    EXPECT_TRUE(client.DownloadToString(server.url("/bytes/10"), body));
    EXPECT_TRUE(client.DownloadFile(server.url("/bytes/10"), dir / "y"));
    EXPECT_EQ(client.LastError, "HTTP код ответа: 500");
}

TEST_F(HttpClientTest, UnwritableDestinationIsReportedBeforeAnyRequest) {
    const fs::path destination = dir / "no-such-folder" / "file.bin";
    EXPECT_FALSE(client.DownloadFile(server.url("/bytes/10"), destination));
    EXPECT_EQ(client.LastError,
              "Не удалось открыть файл назначения: " + platform::pathToUtf8(destination));
    EXPECT_FALSE(fs::exists(destination));
    EXPECT_EQ(server.requestsServed(), 0u);
}

TEST_F(HttpClientTest, CyrillicDestinationFolderWorks) {
    const fs::path folder = dir / fs::u8path(u8"Загрузки лаунчера");
    fs::create_directories(folder);
    const fs::path destination = folder / fs::u8path(u8"мод.jar");
    ASSERT_TRUE(client.DownloadFile(server.url("/bytes/4096"), destination)) << client.LastError;
    EXPECT_EQ(readFile(destination), TestHttpServer::patternBytes(4096));
    ASSERT_TRUE(client.DownloadVerified(server.url("/bytes/64"), destination, {}));
    EXPECT_EQ(readFile(destination).size(), 64u);
}

TEST_F(HttpClientTest, TruncatedBodyFailsAndRemovesTheFile) {
    // Announces 1000 bytes, sends 10 and hangs up.
    server.get("/truncated", [](const auto&, httplib::Response& response, const auto&) {
        response.set_content_provider(1000, "application/octet-stream",
                                      [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          if (offset > 0)
                                              return false;
                                          sink.write("0123456789", 10);
                                          return true;
                                      });
    });
    EXPECT_FALSE(client.DownloadFile(server.url("/truncated"), dir / "cut"));
    EXPECT_EQ(client.LastError, curlText(CURLE_PARTIAL_FILE));
    EXPECT_FALSE(fs::exists(dir / "cut"));

    std::string body;
    EXPECT_FALSE(client.DownloadToString(server.url("/truncated"), body));
    EXPECT_EQ(client.LastError, curlText(CURLE_PARTIAL_FILE));
    EXPECT_EQ(body, "0123456789");
}

TEST_F(HttpClientTest, RequestsCarryTheLauncherUserAgent) {
    server.get("/agent",
               [](const httplib::Request& request, httplib::Response& response, const auto&) {
                   response.set_content(request.get_header_value("User-Agent"), "text/plain");
               });
    std::string body;
    ASSERT_TRUE(client.DownloadToString(server.url("/agent"), body));
    EXPECT_EQ(body, "Quellbrook-Launcher/1.0");
    ASSERT_TRUE(client.DownloadFile(server.url("/agent"), dir / "agent"));
    EXPECT_EQ(readFile(dir / "agent"), "Quellbrook-Launcher/1.0");
}

// --- Download into memory -------------------------------------------------------------------

TEST_F(HttpClientTest, StringReceivesBodyOrIsEmptiedOnAnErrorAnswer) {
    std::string body = "stale";
    ASSERT_TRUE(client.DownloadToString(server.url("/chunked/9000"), body));
    EXPECT_EQ(body, TestHttpServer::patternBytes(9000));

    EXPECT_FALSE(client.DownloadToString(server.url("/status/404"), body));
    EXPECT_EQ(client.LastError, "HTTP код ответа: 404");
    EXPECT_TRUE(body.empty());
}

// --- Schemes --------------------------------------------------------------------------------

TEST_F(HttpClientTest, OnlyHttpAndHttpsAreAllowedForRequestsAndRedirects) {
    const fs::path secret = dir / "secret.txt";
    writeFile(secret, "local secret");
    const std::string fileUrl = "file://" + secret.string();
    server.get("/to-file", [fileUrl](const auto&, httplib::Response& response, const auto&) {
        response.set_redirect(fileUrl);
    });

    std::string body;
    EXPECT_FALSE(client.DownloadToString(fileUrl, body));
    EXPECT_EQ(client.LastError, curlText(CURLE_UNSUPPORTED_PROTOCOL));
    EXPECT_FALSE(client.DownloadToString(server.url("/to-file"), body));
    EXPECT_EQ(client.LastError, curlText(CURLE_UNSUPPORTED_PROTOCOL));
    EXPECT_EQ(body.find("local secret"), std::string::npos);

    EXPECT_FALSE(client.DownloadFile(server.url("/to-file"), dir / "copy.txt"));
    EXPECT_FALSE(fs::exists(dir / "copy.txt"));
    const std::string ftpUrl = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";
    EXPECT_FALSE(client.DownloadToString(ftpUrl, body));
    EXPECT_EQ(client.LastError, curlText(CURLE_UNSUPPORTED_PROTOCOL));
}

// --- Time limits ----------------------------------------------------------------------------

TransferLimits shortLimits() {
    TransferLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(400);
    limits.lowSpeedBytesPerSecond = 1;
    // libcurl samples the speed once per wall-clock second, so a one-second window could
    // end before the first sample that sees bytes; two seconds is the shortest fair one.
    limits.lowSpeedWindow = std::chrono::seconds(2);
    return limits;
}

TEST_F(HttpClientTest, StalledServerIsAbandonedAfterTheLowSpeedWindow) {
    HttpClient bounded(shortLimits());
    const auto start = Clock::now();
    EXPECT_FALSE(bounded.DownloadFile(server.url("/stall/20000"), dir / "stalled"));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
    EXPECT_EQ(bounded.LastError, curlText(CURLE_OPERATION_TIMEDOUT));
    EXPECT_FALSE(fs::exists(dir / "stalled"));

    std::string body;
    EXPECT_FALSE(bounded.DownloadToString(server.url("/stall/20000"), body));
    EXPECT_EQ(bounded.LastError, curlText(CURLE_OPERATION_TIMEDOUT));
}

TEST_F(HttpClientTest, SlowButSteadyTransferIsNotAborted) {
    HttpClient bounded(shortLimits());
    // 15 bytes at 5 bytes/s: longer than the window, faster than the limit.
    ASSERT_TRUE(bounded.DownloadFile(server.url("/trickle/15/200"), dir / "slow"))
        << bounded.LastError;
    EXPECT_EQ(readFile(dir / "slow"), TestHttpServer::patternBytes(15));
}

// --- Connection reuse -----------------------------------------------------------------------

TEST_F(HttpClientTest, OneInstanceReusesItsConnectionAcrossTransfers) {
    std::string body;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(client.DownloadFile(server.url("/bytes/512"), dir / "f")) << client.LastError;
        ASSERT_TRUE(client.DownloadToString(server.url("/chunked/512"), body));
    }
    EXPECT_FALSE(client.DownloadToString(server.url("/status/404"), body));
    ASSERT_TRUE(client.DownloadVerified(server.url("/bytes/512"), dir / "g", {}));
    EXPECT_EQ(server.requestsServed(), 22u);
    EXPECT_EQ(server.connectionsOpened(), 1u);
}

TEST_F(HttpClientTest, SeparateInstancesOpenSeparateConnections) {
    for (int i = 0; i < 5; ++i) {
        HttpClient fresh;
        std::string body;
        ASSERT_TRUE(fresh.DownloadToString(server.url("/bytes/16"), body));
    }
    EXPECT_EQ(server.connectionsOpened(), 5u);
    EXPECT_EQ(server.requestsServed(), 5u);
}

TEST_F(HttpClientTest, InstancesOnSeveralThreadsRunAtOnce) {
    constexpr int kThreads = 32; // the download pool's upper bound
    std::atomic<int> succeeded{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            HttpClient own;
            for (int i = 0; i < 5; ++i) {
                const fs::path file = dir / ("t" + std::to_string(t) + "-" + std::to_string(i));
                if (own.DownloadFile(server.url("/bytes/2048"), file) &&
                    readFile(file) == TestHttpServer::patternBytes(2048))
                    ++succeeded;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(succeeded.load(), kThreads * 5);
    EXPECT_EQ(server.connectionsOpened(), static_cast<std::size_t>(kThreads));
}

// --- Verified download ----------------------------------------------------------------------

class HttpClientVerifiedTest : public HttpClientTest {
protected:
    void SetUp() override { writeFile(target, "old content"); }

    void expectOldTargetKept() {
        EXPECT_EQ(readFile(target), "old content");
        EXPECT_FALSE(fs::exists(partialOf(target)));
    }

    const std::string body = TestHttpServer::patternBytes(20000);
    const std::string bodyUrl = server.url("/bytes/20000");
    const fs::path target = dir / "library.jar";
};

TEST_F(HttpClientVerifiedTest, MatchingSizeAndDigestReplaceTheTarget) {
    const auto sha1 = digestOf(body, platform::HashAlgorithm::Sha1);
    ASSERT_TRUE(client.DownloadVerified(bodyUrl, target, DownloadCheck::sha1(sha1, 20000)))
        << client.LastError;
    EXPECT_EQ(readFile(target), body);
    EXPECT_FALSE(fs::exists(partialOf(target)));

    std::string upper = digestOf(body, platform::HashAlgorithm::Sha256);
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    writeFile(target, "old content");
    ASSERT_TRUE(
        client.DownloadVerified(server.url("/chunked/20000"), target, DownloadCheck::sha256(upper)))
        << client.LastError;
    EXPECT_EQ(readFile(target), body);
}

TEST_F(HttpClientVerifiedTest, WrongDigestKeepsTheOldTarget) {
    const std::string wrong(40, 'a');
    EXPECT_FALSE(client.DownloadVerified(bodyUrl, target, DownloadCheck::sha1(wrong)));
    EXPECT_EQ(client.LastError, "SHA-1 не совпадает: ожидалось " + wrong + ", получено " +
                                    digestOf(body, platform::HashAlgorithm::Sha1));
    expectOldTargetKept();

    const std::string wrong256(64, 'b');
    EXPECT_FALSE(client.DownloadVerified(bodyUrl, target, DownloadCheck::sha256(wrong256)));
    EXPECT_EQ(client.LastError, "SHA-256 не совпадает: ожидалось " + wrong256 + ", получено " +
                                    digestOf(body, platform::HashAlgorithm::Sha256));
    expectOldTargetKept();
}

TEST_F(HttpClientVerifiedTest, WrongSizeKeepsTheOldTarget) {
    DownloadCheck tooLarge;
    tooLarge.expectedSize = 20001;
    EXPECT_FALSE(client.DownloadVerified(bodyUrl, target, tooLarge));
    EXPECT_EQ(client.LastError, "Размер не совпадает: ожидалось 20001 байт, получено 20000");
    expectOldTargetKept();

    DownloadCheck tooSmall;
    tooSmall.expectedSize = 100;
    EXPECT_FALSE(client.DownloadVerified(server.url("/chunked/20000"), target, tooSmall));
    EXPECT_EQ(client.LastError, "Размер не совпадает: ожидалось 100 байт, получено больше");
    expectOldTargetKept();
}

TEST_F(HttpClientVerifiedTest, FailedTransfersKeepTheOldTarget) {
    EXPECT_FALSE(client.DownloadVerified(server.url("/status/404"), target, {}));
    EXPECT_EQ(client.LastError, "HTTP код ответа: 404");
    expectOldTargetKept();

    EXPECT_FALSE(client.DownloadVerified(server.url("/bytes/20000"), target, {},
                                         [](std::int64_t, std::int64_t) { return false; }));
    EXPECT_EQ(client.LastError, curlText(CURLE_ABORTED_BY_CALLBACK));
    expectOldTargetKept();

    // A small expected size must not turn an error answer into a size complaint.
    EXPECT_FALSE(client.DownloadVerified(server.url("/status/503"), target,
                                         DownloadCheck::sha1(std::string(40, '0'), 2)));
    EXPECT_EQ(client.LastError, "HTTP код ответа: 503");
    expectOldTargetKept();
}

TEST_F(HttpClientVerifiedTest, UncheckedDownloadCreatesAMissingTarget) {
    const fs::path fresh = dir / "fresh.bin";
    ASSERT_TRUE(client.DownloadVerified(bodyUrl, fresh, {}));
    EXPECT_EQ(readFile(fresh), body);
    EXPECT_FALSE(fs::exists(partialOf(fresh)));
}

// A write that finds the disk full, through a link to the device that always is.
TEST_F(HttpClientVerifiedTest, FullDiskIsNamedAndKeepsTheOldTarget) {
    ASSERT_TRUE(fs::exists("/dev/full")) << "this test needs Linux's /dev/full";
    fs::create_symlink("/dev/full", partialOf(target));
    EXPECT_FALSE(client.DownloadVerified(bodyUrl, target, {}));
    EXPECT_EQ(client.LastError, "Недостаточно места на диске: " + partialOf(target).string());
    expectOldTargetKept();

    // Small enough to stay in the stream's buffer: the failure shows only when it is closed.
    const fs::path plain = dir / "plain.bin";
    for (const char* path : {"/bytes/20000", "/bytes/10"}) {
        fs::create_symlink("/dev/full", plain);
        EXPECT_FALSE(client.DownloadFile(server.url(path), plain));
        EXPECT_EQ(client.LastError, "Недостаточно места на диске: " + plain.string()) << path;
        EXPECT_FALSE(fs::is_symlink(plain)) << "the failed download's file is removed";
    }
}

// --- TLS trust ------------------------------------------------------------------------------

// Restores the process-wide trust setting whatever a test does with it.
struct ExtraCaGuard {
    ~ExtraCaGuard() { HttpClient::setExtraCaBundle({}); }
};

class HttpClientTlsTest : public ::testing::Test {
protected:
    TempDir dir;
    test::TestCertificates certificates{dir.path()};
    TestHttpServer server{certificates};
    ExtraCaGuard guard;
};

TEST_F(HttpClientTlsTest, ServerOfATestAuthorityIsTrustedOnlyWithTheExtraBundle) {
    {
        HttpClient client;
        EXPECT_FALSE(client.DownloadFile(server.url("/bytes/100"), dir / "refused"));
        EXPECT_EQ(client.LastError, curlText(CURLE_PEER_FAILED_VERIFICATION));
        EXPECT_FALSE(fs::exists(dir / "refused"));
    }

    HttpClient::setExtraCaBundle(certificates.caFile());
    {
        HttpClient client;
        ASSERT_TRUE(client.DownloadFile(server.url("/bytes/100"), dir / "trusted"))
            << client.LastError;
        EXPECT_EQ(readFile(dir / "trusted"), TestHttpServer::patternBytes(100));
        std::string body;
        ASSERT_TRUE(client.DownloadToString(server.url("/redirect/2"), body)) << client.LastError;
        EXPECT_EQ(body, "done");
        EXPECT_EQ(server.connectionsOpened(), 2u); // the refused one and this reused one
    }

    HttpClient::setExtraCaBundle({});
    HttpClient client;
    std::string body;
    EXPECT_FALSE(client.DownloadToString(server.url("/bytes/100"), body));
    EXPECT_EQ(client.LastError, curlText(CURLE_PEER_FAILED_VERIFICATION));
}

TEST_F(HttpClientTlsTest, HungHandshakeIsBoundedByTheConnectTimeout) {
    HttpClient::setExtraCaBundle(certificates.caFile());
    TransferLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(300);
    HttpClient client(limits);
    server.holdConnections();
    const auto start = Clock::now();
    EXPECT_FALSE(client.DownloadFile(server.url("/bytes/100"), dir / "hung"));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(client.LastError, curlText(CURLE_OPERATION_TIMEDOUT));
    server.releaseConnections();

    HttpClient patient; // a handshake may well take longer than 300 ms on a loaded machine
    ASSERT_TRUE(patient.DownloadFile(server.url("/bytes/100"), dir / "answered"))
        << patient.LastError;
}

TEST(CaBundleTest, BlobHoldsTheSystemBundleFollowedByTheExtraFile) {
    ExtraCaGuard guard;
    TempDir dir;
    const test::TestCertificates certificates(dir.path());
    const fs::path systemBundle = CaBundle::systemBundlePath();
    ASSERT_FALSE(systemBundle.empty());

    EXPECT_EQ(CaBundle::current(), nullptr);
    HttpClient::setExtraCaBundle(certificates.caFile());
    const auto blob = CaBundle::current();
    ASSERT_NE(blob, nullptr);
    const std::string system = readFile(systemBundle);
    const std::string extra = readFile(certificates.caFile());
    EXPECT_EQ(blob->pem.substr(0, system.size()), system);
    EXPECT_NE(blob->pem.find(extra, system.size()), std::string::npos);
    EXPECT_FALSE(blob->needsNativeStore);
    EXPECT_EQ(CaBundle::current(), blob); // built once, shared by every transfer

    HttpClient::setExtraCaBundle(dir / "absent.pem");
    EXPECT_EQ(CaBundle::current(), nullptr);
}

} // namespace
} // namespace qbk
