// The fault proxy as the soak runs use it: each fault it injects fails the launcher's verified
// download and leaves no file behind (a stall only slows it), its control paths switch and
// count, and a seed decides the same faults again.
#include "launch/HttpClient.h"
#include "platform/Digest.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/ToolProcess.h"
#include "tests/support/WholeFile.h"
#include "tools/fault-proxy/FaultSchedule.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>

namespace qbk::test {
namespace {

namespace fs = std::filesystem;
using faultproxy::FaultKind;
using faultproxy::FaultSchedule;
using nlohmann::json;

struct FaultProxyTest : ::testing::Test {
    std::unique_ptr<ToolProcess> start(const std::vector<std::string>& faults) {
        std::vector<std::string> args = {"--upstream", upstream.baseUrl(),
                                         "--log",      (dir / "faults.log").string(),
                                         "--stall-ms", "400"};
        args.insert(args.end(), faults.begin(), faults.end());
        auto proxy = std::make_unique<ToolProcess>(QBK_FAULT_PROXY, args, dir / "proxy.out");
        EXPECT_GT(proxy->port(), 0) << readWholeFile(dir / "proxy.out");
        return proxy;
    }
    std::string get(const ToolProcess& proxy, const std::string& path) {
        httplib::Client client("127.0.0.1", proxy.port());
        const auto reply = client.Get(path);
        return reply ? reply->body : "";
    }
    json stats(const ToolProcess& proxy) {
        return json::parse(get(proxy, "/.fault-proxy/stats"), nullptr, false);
    }

    TempDir dir{"qbk-fault-proxy"};
    TestHttpServer upstream;
};

TEST_F(FaultProxyTest, VerifiedDownloadRefusesEveryFaultAndWaitsOutAStall) {
    const std::string body = TestHttpServer::patternBytes(200000);
    platform::Digest sha1(platform::HashAlgorithm::Sha1);
    sha1.update(body);
    const DownloadCheck check = DownloadCheck::sha1(sha1.finishHex(), 200000);
    TransferLimits limits;
    limits.lowSpeedWindow = std::chrono::seconds(2);
    for (const FaultKind kind : FaultSchedule::allKinds()) {
        const std::string name = FaultSchedule::name(kind);
        const auto proxy = start({"--rate", "1", "--faults", name, "--seed", "7"});
        HttpClient client(limits);
        const fs::path target = dir / ("file-" + name);
        const bool ok = client.DownloadVerified(proxy->url("/bytes/200000"), target, check);
        EXPECT_EQ(ok, kind == FaultKind::Stall) << name << ": " << client.LastError;
        EXPECT_EQ(readWholeFile(target), ok ? body : "") << name;
        EXPECT_FALSE(fs::exists(fs::path(target) += ".part")) << name;
        EXPECT_EQ(client.LastError.empty(), ok) << name;
        EXPECT_GE(stats(*proxy)["faults"], 1) << name; // the fault did come
    }
}

TEST_F(FaultProxyTest, ControlPathsCountLogSwitchOffAndReseed) {
    const auto proxy = start({"--rate", "1", "--faults", "flip", "--seed", "3"});
    for (int i = 0; i < 6; ++i)
        get(*proxy, "/bytes/" + std::to_string(100 + i));
    EXPECT_EQ(stats(*proxy),
              json::parse(R"({"seed":3,"requests":6,"faults":6,"kinds":{"flip":6}})"));
    const std::string log = readWholeFile(dir / "faults.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 6);
    EXPECT_EQ(get(*proxy, "/.fault-proxy/off"), "off\n");
    EXPECT_EQ(get(*proxy, "/bytes/5000"), TestHttpServer::patternBytes(5000));
    EXPECT_EQ(get(*proxy, "/.fault-proxy/seed/11"), "seed 11\n");
    EXPECT_EQ(stats(*proxy), json::parse(R"({"seed":11,"requests":0,"faults":0,"kinds":{}})"));
}

TEST(FaultScheduleTest, SeedPathAndAttemptDecideTheFaultAndNamesParseOrAreRefusedWhole) {
    const FaultSchedule schedule(42, 0.25, FaultSchedule::allKinds());
    const FaultSchedule same(42, 0.25, FaultSchedule::allKinds());
    const FaultSchedule other(43, 0.25, FaultSchedule::allKinds());
    int faults = 0, differences = 0;
    std::set<FaultKind> kinds;
    for (int i = 0; i < 4000; ++i) {
        const std::string path = "/resources/" + std::to_string(i % 400);
        const auto fault = schedule.decide(path, i / 400), again = same.decide(path, i / 400);
        EXPECT_TRUE(fault.kind == again.kind && fault.position == again.position);
        EXPECT_TRUE(fault.position >= 0.0 && fault.position < 1.0);
        differences += fault.kind != other.decide(path, i / 400).kind;
        faults += fault.kind != FaultKind::None;
        kinds.insert(fault.kind);
    }
    EXPECT_TRUE(faults > 800 && faults < 1200 && differences > 500) << faults << differences;
    EXPECT_EQ(kinds.size(), FaultSchedule::allKinds().size() + 1);
    EXPECT_EQ(FaultSchedule(42, 0.0, {FaultKind::Flip}).decide("/x", 1).kind, FaultKind::None);
    EXPECT_EQ(FaultSchedule(42, 1.0, {FaultKind::Flip}).decide("/x", 1).kind, FaultKind::Flip);

    EXPECT_EQ(FaultSchedule::parseList("all")->size(), FaultSchedule::allKinds().size());
    EXPECT_EQ(*FaultSchedule::parseList("reset,503-retry-after"),
              (std::vector<FaultKind>{FaultKind::Reset, FaultKind::UnavailableRetry}));
    EXPECT_FALSE(FaultSchedule::parseList("reset,bogus") || FaultSchedule::parseList(""));
    for (const FaultKind kind : FaultSchedule::allKinds())
        EXPECT_EQ(FaultSchedule::fromName(FaultSchedule::name(kind)), kind);
}

} // namespace
} // namespace qbk::test
