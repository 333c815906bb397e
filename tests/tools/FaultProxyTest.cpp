// The fault proxy as the soak runs use it: each fault fails a verified download and leaves no
// file (a stall only slows it), its control paths count and take a new seed.
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

TEST(FaultProxyTest, EveryFaultFailsAVerifiedDownloadAndTheControlPathsCountAndSwitch) {
    TempDir dir{"qbk-fault-proxy"};
    TestHttpServer upstream;
    const auto start = [&](const std::string& faults, const std::string& seed) {
        // clang-format off
        const ToolProcess::Args args = {"--upstream", upstream.baseUrl(), "--stall-ms", "400", "--rate", "1",
            "--log", (dir / (seed + ".log")).string(), "--faults", faults, "--seed", seed};
        // clang-format on
        auto proxy = std::make_unique<ToolProcess>(QBK_FAULT_PROXY, args, dir / "proxy.out");
        EXPECT_GT(proxy->port(), 0) << readWholeFile(dir / "proxy.out");
        return proxy;
    };
    const std::string body = TestHttpServer::patternBytes(200000);
    const auto check = DownloadCheck::sha1(sha1Hex(body), 200000);
    TransferLimits limits;
    limits.lowSpeedWindow = std::chrono::seconds(2);
    for (const FaultKind kind : FaultSchedule::allKinds()) {
        const std::string name = FaultSchedule::name(kind);
        const auto proxy = start(name, "7");
        HttpClient client(limits);
        const bool ok = client.DownloadVerified(proxy->url("/bytes/200000"), dir / name, check);
        EXPECT_TRUE(ok == (kind == FaultKind::Stall) && client.LastError.empty() == ok &&
                    readWholeFile(dir / name) == (ok ? body : "") &&
                    !std::filesystem::exists(dir / (name + ".part")) &&
                    json::parse(proxy->get("/.fault-proxy/stats"))["faults"] >= 1) // it came
            << name << ": " << client.LastError;
    }
    const auto proxy = start("flip", "3");
    for (int i = 0; i < 6; ++i)
        proxy->get("/bytes/" + std::to_string(100 + i));
    EXPECT_EQ(json::parse(proxy->get("/.fault-proxy/stats")),
              json::parse(R"({"seed":3,"requests":6,"faults":6,"kinds":{"flip":6}})"));
    EXPECT_EQ(proxy->get("/.fault-proxy/seed/11"), "seed 11\n");
    EXPECT_EQ(json::parse(proxy->get("/.fault-proxy/stats")),
              json::parse(R"({"seed":11,"requests":0,"faults":0,"kinds":{}})"));
}

} // namespace
} // namespace qbk::test
