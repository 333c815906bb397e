// The fault proxy as the soak runs use it: each fault fails a verified download and leaves no
// file (a stall only slows it), and its statistics count it.
#include "launch/HttpClient.h"
#include "tests/support/Digests.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/ToolProcess.h"
#include "tools/fault-proxy/FaultSchedule.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qbk::test {
namespace {

using faultproxy::FaultKind;
using faultproxy::FaultSchedule;
using nlohmann::json;

TEST(FaultProxyTest, EveryFaultFailsAVerifiedDownloadAndIsCounted) {
    TempDir dir{"qbk-fault-proxy"};
    TestHttpServer upstream;
    const std::string body = TestHttpServer::patternBytes(200000);
    const auto check = DownloadCheck::sha1(sha1Hex(body), 200000);
    TransferLimits limits;
    limits.lowSpeedWindow = std::chrono::seconds(2);
    for (const FaultKind kind : FaultSchedule::allKinds()) {
        const std::string name = FaultSchedule::name(kind);
        const ToolProcess proxy(QBK_FAULT_PROXY,
                                {"--upstream", upstream.baseUrl(), "--stall-ms", "400", "--rate",
                                 "1", "--faults", name, "--seed", "7"},
                                dir / "proxy.out");
        ASSERT_GT(proxy.port(), 0) << readWholeFile(dir / "proxy.out");
        HttpClient client(limits);
        const bool ok = client.DownloadVerified(proxy.url("/bytes/200000"), dir / name, check);
        EXPECT_TRUE(ok == (kind == FaultKind::Stall) && client.LastError.empty() == ok &&
                    readWholeFile(dir / name) == (ok ? body : "") &&
                    !std::filesystem::exists(dir / (name + ".part")) &&
                    json::parse(proxy.get("/.fault-proxy/stats"))["faults"] >= 1) // it came
            << name << ": " << client.LastError;
    }
}

} // namespace
} // namespace qbk::test
