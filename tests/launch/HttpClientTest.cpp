#include "launch/HttpClient.h"

#include "launch/CaBundle.h"
#include "tests/support/Digests.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <tuple>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
using test::TestHttpServer;
using Clock = std::chrono::steady_clock;
const std::string kBody = TestHttpServer::patternBytes(20000);
const std::string kHttp500 = "HTTP код ответа: 500", kHttp404 = "HTTP код ответа: 404";
const auto curlText = [](CURLcode code) {
    return std::string(curl_easy_strerror(code));
};
// The server is declared first, so every client closes its connection before it stops.
class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Announces 1000 bytes, sends 10 and hangs up: a Content-Length that lies.
        server.get("/truncated", [](const auto&, auto& response, const auto&) {
            response.set_content_provider(1000, "text/plain", [](auto at, auto, auto& sink) {
                return at == 0 && sink.write("0123456789", 10);
            });
        });
        server.get("/to-file",
                   [](auto&, auto& r, auto&) { r.set_redirect("file:///etc/hostname"); });
    }
    TestHttpServer server;
    test::TempDir dir;
    HttpClient client;
};
// Into a file (in a Cyrillic folder) and into memory, on one table; error empty: success.
TEST_F(HttpClientTest, PlainTransfersDeliverWholeBodiesOrNameTheirFailureAndLeaveNoFile) {
    const std::string unsupported = curlText(CURLE_UNSUPPORTED_PROTOCOL);
    // url, error, body (delivered, or left after a failure), largest total seen (-1: unchecked)
    const std::tuple<std::string, std::string, std::string, std::int64_t> cases[] = {
        {server.url("/bytes/20000"), "", kBody, 20000},
        {server.url("/chunked/20000"), "", kBody, 0},
        {server.url("/redirect/10"), "", "done", -1},
        {server.url("/status/404"), kHttp404, "", -1},
        {server.url("/redirect/11"), curlText(CURLE_TOO_MANY_REDIRECTS), "", -1},
        {server.url("/truncated"), curlText(CURLE_PARTIAL_FILE), "0123456789", -1},
        // URLs come from servers: never file:// or another scheme, nor a redirect there.
        {"file:///etc/hostname", unsupported, "", -1},
        {server.url("/to-file"), unsupported, "", -1},
        {"ftp://127.0.0.1:" + std::to_string(server.port()) + "/", unsupported, "", -1}};
    const fs::path file = dir / fs::path(u8"Загрузки лаунчера") / fs::path(u8"мод.jar");
    std::string body;
    for (const auto& [url, error, wanted, most] : cases) {
        ASSERT_FALSE(client.DownloadToString(server.url("/status/500"), body)); // kept on success
        test::writeWholeFile(file, "an older file");
        std::int64_t last = 0, total = 0;
        const bool ok = client.DownloadFile(url, file, [&](auto received, auto all) {
            last = received;
            total = std::max(total, all);
            return true;
        });
        EXPECT_EQ(ok ? "" : client.LastError, error) << url;
        EXPECT_EQ(client.LastError, ok ? kHttp500 : error) << url;
        EXPECT_EQ(fs::exists(file) ? readWholeFile(file) : "none", ok ? wanted : "none") << url;
        EXPECT_TRUE(most < 0 || (total == most && last == 20000)) << url << " " << total;
        body = "stale";
        EXPECT_EQ(client.DownloadToString(url, body), ok) << url;
        EXPECT_EQ(body, wanted) << url;
    }
    int calls = 0;
    EXPECT_FALSE(client.DownloadFile(server.url("/bytes/500000"), file,
                                     [&](auto, auto) { return ++calls > 1; }));
    EXPECT_EQ(client.LastError + std::to_string(calls) + (fs::exists(file) ? " kept" : ""),
              curlText(CURLE_ABORTED_BY_CALLBACK) + "1"); // stopped at once, the file removed
}
// A short, corrupt or over-long answer never replaces the target, nor leaves its .part.
TEST_F(HttpClientTest, VerifiedDownloadReplacesTheTargetOnlyWhenEveryCheckPasses) {
    const std::string sha1 = test::sha1Hex(kBody), sha256 = test::sha256Hex(kBody);
    const std::string wrong1(40, 'a'), wrong256(64, 'b');
    const fs::path target = dir / "library.jar", partial = dir / "library.jar.part";
    const std::tuple<std::string, DownloadCheck, std::string> cases[] = {
        // error "": replaced
        {"/bytes/20000", DownloadCheck::sha1(sha1, 20000), ""},
        {"/chunked/20000", DownloadCheck::sha256(test::upperCase(sha256), 20000), ""},
        {"/bytes/20000", DownloadCheck::sha1(wrong1),
         "SHA-1 не совпадает: ожидалось " + wrong1 + ", получено " + sha1},
        {"/bytes/20000", DownloadCheck::sha256(wrong256, 20000),
         "SHA-256 не совпадает: ожидалось " + wrong256 + ", получено " + sha256},
        {"/bytes/20000", DownloadCheck::sha1(sha1, 20001),
         "Размер не совпадает: ожидалось 20001 байт, получено 20000"},
        // Refused while streaming, so a wrong answer cannot fill the disk.
        {"/chunked/20000", DownloadCheck::sha1(sha1, 19999),
         "Размер не совпадает: ожидалось 19999 байт, получено больше"},
        {"/truncated", {}, curlText(CURLE_PARTIAL_FILE)},
        {"/status/404", {}, kHttp404},
        // A small expected size must not turn an error answer into a size complaint.
        {"/status/503", DownloadCheck::sha1(std::string(40, '0'), 2), "HTTP код ответа: 503"},
        {"/bytes/20000", {}, curlText(CURLE_ABORTED_BY_CALLBACK)},
#ifndef _WIN32 // Windows has no device that is always full
        // The partial file is a link to the device that is always full.
        {"/bytes/20000", {}, "Недостаточно места на диске: " + partial.string()},
#endif
    };
    for (const auto& [path, check, error] : cases) {
        test::writeWholeFile(target, "old content");
        if (error.starts_with("Недостаточно"))
            fs::create_symlink("/dev/full", partial);
        const bool abort = error == curlText(CURLE_ABORTED_BY_CALLBACK);
        const bool ok = client.DownloadVerified(server.url(path), target, check,
                                                [&](auto, auto) { return !abort; });
        EXPECT_EQ(ok ? "" : client.LastError, error) << path;
        EXPECT_EQ(readWholeFile(target), ok ? kBody : "old content") << path;
        EXPECT_FALSE(fs::exists(partial) || fs::is_symlink(partial)) << path;
    }
#ifndef _WIN32
    // 10 bytes stay in the stream's buffer: the full disk shows only when it is closed.
    fs::create_symlink("/dev/full", dir / "plain");
    EXPECT_FALSE(client.DownloadFile(server.url("/bytes/10"), dir / "plain"));
    EXPECT_EQ(client.LastError, "Недостаточно места на диске: " + (dir / "plain").string());
    EXPECT_FALSE(fs::is_symlink(dir / "plain"));
#endif
}
TEST_F(HttpClientTest, StallsAreAbandonedSlowSteadyServersNotAndConnectionsAreReused) {
    TransferLimits limits;
    limits.lowSpeedWindow = std::chrono::seconds(2); // libcurl samples the speed once a second
    HttpClient bounded(limits);
    const auto start = Clock::now();
    EXPECT_FALSE(bounded.DownloadFile(server.url("/stall/20000"), dir / "stalled"));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
    EXPECT_EQ(bounded.LastError, curlText(CURLE_OPERATION_TIMEDOUT));
    // A byte every 200 ms for longer than the window: below the default floor of 1 KiB/s a
    // stall, above a lowered one a slow server that is waited for.
    const auto trickled = Clock::now();
    EXPECT_FALSE(bounded.DownloadFile(server.url("/trickle/15/200"), dir / "slow"));
    EXPECT_LT(Clock::now() - trickled, std::chrono::seconds(6));
    limits.lowSpeedBytesPerSecond = 2;
    limits.maxDocumentBytes = 1000;
    HttpClient patient(limits);
    ASSERT_TRUE(patient.DownloadFile(server.url("/trickle/15/200"), dir / "slow"));
    EXPECT_EQ(readWholeFile(dir / "slow"), TestHttpServer::patternBytes(15));
    std::string document; // a document held in memory has a ceiling, a file none
    EXPECT_FALSE(patient.DownloadToString(server.url("/chunked/1001"), document));
    EXPECT_EQ(patient.LastError, "Ответ сервера больше 1000 байт");
    EXPECT_TRUE(patient.DownloadToString(server.url("/bytes/1000"), document));
    server.resetCounters();
    std::string body;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(client.DownloadFile(server.url("/bytes/512"), dir / "f") &&
                    client.DownloadToString(server.url("/chunked/512"), body) &&
                    client.DownloadVerified(server.url("/bytes/512"), dir / "g", {}));
    EXPECT_EQ(server.requestsServed(), 9u);
    EXPECT_EQ(server.connectionsOpened(), 1u);
}
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
// The test authority is trusted only while its bundle is set; the setting is process-wide.
TEST(HttpClientTlsTest, ExtraBundleDecidesTrustAndTheHandshakeIsBounded) {
    test::TempDir dir;
    const test::TestCertificates certificates(dir.path());
    TestHttpServer server(certificates);
    HttpClient::setExtraCaBundle(certificates.caFile());
    const auto blob = CaBundle::current();
    ASSERT_NE(blob, nullptr);
    const std::string system = readWholeFile(CaBundle::systemBundlePath());
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(blob->pem, system + readWholeFile(certificates.caFile()));
    HttpClient trusting;
    ASSERT_TRUE(trusting.DownloadFile(server.url("/redirect/2"), dir / "ok")) << trusting.LastError;
    EXPECT_EQ(readWholeFile(dir / "ok"), "done");
    TestHttpServer plain; // an https request never follows a redirect down to http
    server.get("/down",
               [&](const auto&, auto& r, const auto&) { r.set_redirect(plain.url("/bytes/1")); });
    EXPECT_FALSE(trusting.DownloadFile(server.url("/down"), dir / "down"));
    EXPECT_EQ(trusting.LastError, curlText(CURLE_UNSUPPORTED_PROTOCOL));
    TransferLimits limits;
    limits.connectTimeout = std::chrono::milliseconds(300);
    HttpClient impatient(limits);
    server.holdConnections();
    const auto start = Clock::now();
    EXPECT_FALSE(impatient.DownloadFile(server.url("/bytes/100"), dir / "hung"));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(impatient.LastError, curlText(CURLE_OPERATION_TIMEDOUT));
    server.releaseConnections();
    HttpClient::setExtraCaBundle(dir / "absent.pem");
    EXPECT_EQ(CaBundle::current(), nullptr);
    HttpClient::setExtraCaBundle({});
    HttpClient refusing;
    EXPECT_FALSE(refusing.DownloadFile(server.url("/bytes/100"), dir / "refused"));
    EXPECT_EQ(refusing.LastError, curlText(CURLE_PEER_FAILED_VERIFICATION));
    EXPECT_FALSE(fs::exists(dir / "refused"));
}
#else
// Without OpenSSL for a TLS server in the suite (the Windows SDK has none), scripts/test-windows
// serves one file over TLS from the host under an authority of its own. Wine trusts any chain,
// so the way there is checked: the bundle joins the exported root store and the authority, and
// Schannel fetches through it.
TEST(HttpClientTlsTest, ExtraBundleJoinsTheRootStoreAndTheAuthorityForSchannel) {
    const char *url = std::getenv("QBK_TLS_URL"), *ca = std::getenv("QBK_TLS_CA");
    ASSERT_TRUE(url && ca) << "QBK_TLS_URL and QBK_TLS_CA are set by scripts/test-windows";
    test::TempDir dir;
    const std::string authority = readWholeFile(ca);
    HttpClient::setExtraCaBundle(ca);
    const auto blob = CaBundle::current();
    ASSERT_NE(blob, nullptr);
    EXPECT_TRUE(blob->pem.starts_with("-----BEGIN CERTIFICATE-----") &&
                blob->pem.size() > authority.size() && blob->pem.ends_with(authority));
    EXPECT_FALSE(blob->needsNativeStore);
    HttpClient trusting;
    EXPECT_TRUE(trusting.DownloadFile(url, dir / "served")) << trusting.LastError;
    EXPECT_EQ(readWholeFile(dir / "served"), "over TLS\n");
    HttpClient::setExtraCaBundle({});
}
#endif
} // namespace
} // namespace qbk
