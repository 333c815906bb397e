// The fault proxy at the wire: a real proxy process in front of a loopback server, read with a
// raw socket so that resets, lying lengths and cut bodies are seen as bytes, not as a client
// library's interpretation of them; then the launcher's own client against every fault.

#include "launch/HttpClient.h"
#include "platform/ChildProcess.h"
#include "platform/Digest.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tools/fault-proxy/FaultSchedule.h"
#include "tools/fault-proxy/TcpSocket.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <tuple>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using faultproxy::FaultKind;
using faultproxy::FaultSchedule;
using faultproxy::TcpSocket;
using ReadStatus = TcpSocket::ReadStatus;

constexpr std::size_t kBodySize = 200000;
constexpr std::chrono::milliseconds kQuick(200);

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One answer as it came over the socket, and how the socket ended.
struct WireAnswer {
    std::string head;
    std::string rest; // everything after the head
    ReadStatus end = ReadStatus::Failed;
    bool sawTimeout = false;

    std::string header(const std::string& name) const {
        const auto at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos)
            return {};
        const auto start = at + name.size() + 4;
        return head.substr(start, head.find("\r\n", start) - start);
    }
    int status() const { return head.size() > 12 ? std::stoi(head.substr(9, 3)) : 0; }
    std::size_t declaredLength() const { return std::stoul(header("Content-Length")); }
};

class ProxyProcess {
public:
    ProxyProcess(int upstreamPort, std::vector<std::string> extra, const fs::path& dir) {
        std::vector<std::string> args{"--upstream",
                                      "http://127.0.0.1:" + std::to_string(upstreamPort), "--log",
                                      (dir / "faults.log").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        int code = 0;
        platform::ChildProcessSpec setup;
        setup.program = QBK_FAULT_PROXY;
        setup.arguments = args;
        setup.outputFile = dir / "proxy.out";
        started_ = process_.start(setup, error, code);
        for (int i = 0; i < 100 && started_ && port_ == 0; ++i) {
            const std::string out = readFile(dir / "proxy.out");
            if (out.rfind("port=", 0) == 0)
                port_ = std::stoi(out.substr(5));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~ProxyProcess() { process_.kill(); }

    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    platform::ChildProcess process_;
    bool started_ = false;
    int port_ = 0;
};

class FaultProxyWire : public ::testing::Test {
protected:
    void start(std::vector<std::string> extra) {
        proxy = std::make_unique<ProxyProcess>(upstream.port(), std::move(extra), dir.path());
        ASSERT_GT(proxy->port(), 0) << readFile(dir / "proxy.out");
    }
    void startWith(const std::string& fault) {
        start({"--rate", "1", "--faults", fault, "--stall-ms", "400", "--seed", "7"});
    }

    TcpSocket connect() const { return TcpSocket::connectLoopback(proxy->port()); }

    static bool send(TcpSocket& socket, const std::string& path) {
        return socket.writeAll("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }

    // Reads until the peer ends the connection or nothing comes for idle.
    static WireAnswer readToEnd(TcpSocket& socket, std::chrono::milliseconds idle,
                                int patience = 1) {
        WireAnswer answer;
        std::string bytes;
        socket.setReceiveTimeout(idle);
        int timeouts = 0;
        while (true) {
            answer.end = socket.readSome(bytes);
            if (answer.end == ReadStatus::TimedOut) {
                answer.sawTimeout = true;
                if (++timeouts >= patience)
                    break;
                continue;
            }
            if (answer.end != ReadStatus::Data)
                break;
        }
        const auto split = bytes.find("\r\n\r\n");
        answer.head = bytes.substr(0, split == std::string::npos ? bytes.size() : split + 4);
        answer.rest = split == std::string::npos ? std::string() : bytes.substr(split + 4);
        return answer;
    }

    WireAnswer fetch(const std::string& path,
                     std::chrono::milliseconds idle = std::chrono::milliseconds(1500)) {
        TcpSocket socket = connect();
        EXPECT_TRUE(send(socket, path));
        return readToEnd(socket, idle);
    }

    std::string body() const { return test::TestHttpServer::patternBytes(kBodySize); }
    std::string path() const { return "/bytes/" + std::to_string(kBodySize); }

    test::TempDir dir{"qbk-fault-proxy"};
    test::TestHttpServer upstream;
    std::unique_ptr<ProxyProcess> proxy;
};

TEST_F(FaultProxyWire, WithoutFaultsPassesBodiesThroughOnOneKeptConnection) {
    start({"--rate", "0"});
    TcpSocket socket = connect();
    ASSERT_TRUE(send(socket, path()));
    ASSERT_TRUE(send(socket, "/bytes/10"));
    const WireAnswer both = readToEnd(socket, std::chrono::milliseconds(500));
    EXPECT_EQ(both.status(), 200);
    EXPECT_EQ(both.declaredLength(), kBodySize);
    ASSERT_GT(both.rest.size(), kBodySize);
    EXPECT_EQ(both.rest.substr(0, kBodySize), body());
    // The second answer followed on the same connection, which stayed open.
    EXPECT_EQ(both.rest.substr(kBodySize, 17), "HTTP/1.1 200 OK\r\n");
    EXPECT_TRUE(both.rest.ends_with(test::TestHttpServer::patternBytes(10)));
    EXPECT_EQ(both.end, ReadStatus::TimedOut);
    EXPECT_EQ(upstream.requestsServed(), 2u);
}

TEST_F(FaultProxyWire, ResetEndsTheConnectionAbortively) {
    startWith("reset");
    const WireAnswer answer = fetch(path());
    EXPECT_EQ(answer.end, ReadStatus::Reset);
    EXPECT_LT(answer.rest.size(), kBodySize);
}

TEST_F(FaultProxyWire, TruncateClosesBeforeTheAnnouncedLength) {
    startWith("truncate");
    const WireAnswer answer = fetch(path());
    EXPECT_EQ(answer.status(), 200);
    EXPECT_EQ(answer.declaredLength(), kBodySize);
    EXPECT_LT(answer.rest.size(), kBodySize);
    EXPECT_EQ(answer.rest, body().substr(0, answer.rest.size()));
    EXPECT_EQ(answer.end, ReadStatus::Closed);
}

TEST_F(FaultProxyWire, FlipInvertsExactlyOneByteOfAFullLengthBody) {
    startWith("flip");
    const WireAnswer answer = fetch(path(), std::chrono::milliseconds(300));
    ASSERT_EQ(answer.rest.size(), kBodySize);
    EXPECT_EQ(answer.declaredLength(), kBodySize);
    const std::string original = body();
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < kBodySize; ++i)
        if (answer.rest[i] != original[i])
            changed.push_back(i);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(static_cast<char>(answer.rest[changed[0]] ^ 0xff), original[changed[0]]);
}

TEST_F(FaultProxyWire, StallPausesInsideTheBodyAndThenDeliversAllOfIt) {
    startWith("stall");
    TcpSocket socket = connect();
    ASSERT_TRUE(send(socket, path()));
    // Short reads see the pause as a time-out with part of the body in; patience lets the
    // rest arrive afterwards.
    const WireAnswer answer = readToEnd(socket, std::chrono::milliseconds(150), 6);
    EXPECT_TRUE(answer.sawTimeout);
    EXPECT_EQ(answer.rest, body());
}

TEST_F(FaultProxyWire, BusyAnswersCarryRetryAfterOnlyInTheirRetryVariants) {
    const std::vector<std::tuple<std::string, int, std::string>> cases{
        {"429", 429, ""},
        {"429-retry-after", 429, "1"},
        {"503", 503, ""},
        {"503-retry-after", 503, "1"}};
    for (const auto& [fault, status, retryAfter] : cases) {
        startWith(fault);
        const WireAnswer answer = fetch(path(), std::chrono::milliseconds(300));
        EXPECT_EQ(answer.status(), status) << fault;
        EXPECT_EQ(answer.header("Retry-After"), retryAfter) << fault;
        EXPECT_EQ(answer.rest.size(), answer.declaredLength()) << fault;
    }
}

TEST_F(FaultProxyWire, RedirectLoopNeverLeadsBackToTheFile) {
    startWith("redirect-loop");
    std::string target = path();
    for (int hop = 1; hop <= 4; ++hop) {
        const WireAnswer answer = fetch(target, std::chrono::milliseconds(300));
        ASSERT_EQ(answer.status(), 302);
        target = answer.header("Location");
        EXPECT_EQ(target, path() + "?fault-proxy-loop=" + std::to_string(hop));
    }
    // Only the first answer asked the mirror; the hops are the proxy's own.
    EXPECT_EQ(upstream.requestsServed(), 0u);
}

TEST_F(FaultProxyWire, LongLengthAnnouncesMoreThanItSendsAndCloses) {
    startWith("long-length");
    const WireAnswer answer = fetch(path());
    EXPECT_GT(answer.declaredLength(), kBodySize);
    EXPECT_EQ(answer.rest, body());
    EXPECT_EQ(answer.end, ReadStatus::Closed);
}

TEST_F(FaultProxyWire, ShortLengthLeavesTheRestOfTheBodyOnTheConnection) {
    startWith("short-length");
    const WireAnswer answer = fetch(path(), std::chrono::milliseconds(300));
    EXPECT_LT(answer.declaredLength(), kBodySize);
    EXPECT_EQ(answer.rest, body());
    EXPECT_EQ(answer.end, ReadStatus::TimedOut); // kept open for the next request
}

TEST_F(FaultProxyWire, ControlPathsSwitchSchedulesAndCountWhatWasInjected) {
    start({"--rate", "1", "--faults", "flip,429", "--seed", "3"});
    for (int i = 0; i < 6; ++i)
        fetch("/bytes/" + std::to_string(100 + i), std::chrono::milliseconds(200));
    auto stats = nlohmann::json::parse(fetch("/.fault-proxy/stats", kQuick).rest);
    EXPECT_EQ(stats["seed"], 3);
    EXPECT_EQ(stats["requests"], 6);
    EXPECT_EQ(stats["faults"], 6);
    EXPECT_EQ(stats["kinds"].value("flip", 0) + stats["kinds"].value("429", 0), 6);
    const std::string log = readFile(dir / "faults.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 6);

    EXPECT_EQ(fetch("/.fault-proxy/off", kQuick).status(), 200);
    const WireAnswer clean = fetch(path(), std::chrono::milliseconds(300));
    EXPECT_EQ(clean.rest, body());
    EXPECT_EQ(nlohmann::json::parse(fetch("/.fault-proxy/stats", kQuick).rest)["faults"], 6);

    EXPECT_EQ(fetch("/.fault-proxy/seed/11", kQuick).status(), 200);
    stats = nlohmann::json::parse(fetch("/.fault-proxy/stats", kQuick).rest);
    EXPECT_EQ(stats["seed"], 11);
    EXPECT_EQ(stats["faults"], 0);
}

// Every fault must fail the launcher's verified download and leave no file behind.
TEST_F(FaultProxyWire, VerifiedDownloadRefusesEveryFault) {
    const std::string original = body();
    platform::Digest digest(platform::HashAlgorithm::Sha1);
    digest.update(original);
    const DownloadCheck check = DownloadCheck::sha1(digest.finishHex(), kBodySize);
    TransferLimits limits;
    limits.lowSpeedWindow = std::chrono::seconds(2);
    for (const FaultKind kind : FaultSchedule::allKinds()) {
        if (kind == FaultKind::Stall)
            continue; // a stall is slow, not wrong
        const std::string name = FaultSchedule::name(kind);
        startWith(name);
        HttpClient client(limits);
        const fs::path target = dir / ("file-" + name);
        EXPECT_FALSE(client.DownloadVerified(proxy->url(path()), target, check)) << name;
        EXPECT_FALSE(fs::exists(target)) << name;
        EXPECT_FALSE(fs::exists(fs::path(target) += ".part")) << name;
        EXPECT_FALSE(client.LastError.empty()) << name;
    }
    startWith("stall");
    HttpClient client(limits);
    EXPECT_TRUE(client.DownloadVerified(proxy->url(path()), dir / "stalled", check))
        << client.LastError;
    EXPECT_EQ(readFile(dir / "stalled"), original);
}

TEST(FaultScheduleTest, SeedPathAndAttemptDecideTheFault) {
    const FaultSchedule schedule(42, 0.25, FaultSchedule::allKinds());
    const FaultSchedule same(42, 0.25, FaultSchedule::allKinds());
    const FaultSchedule other(43, 0.25, FaultSchedule::allKinds());
    int faults = 0;
    int differences = 0;
    std::set<FaultKind> kinds;
    for (int i = 0; i < 4000; ++i) {
        const std::string path = "/resources/" + std::to_string(i % 400);
        const auto fault = schedule.decide(path, i / 400);
        EXPECT_EQ(fault.kind, same.decide(path, i / 400).kind);
        EXPECT_EQ(fault.position, same.decide(path, i / 400).position);
        EXPECT_GE(fault.position, 0.0);
        EXPECT_LT(fault.position, 1.0);
        differences += fault.kind != other.decide(path, i / 400).kind;
        faults += fault.kind != FaultKind::None;
        kinds.insert(fault.kind);
    }
    EXPECT_GT(faults, 800);
    EXPECT_LT(faults, 1200);
    EXPECT_GT(differences, 500);
    EXPECT_EQ(kinds.size(), FaultSchedule::allKinds().size() + 1);

    const FaultSchedule never(42, 0.0, FaultSchedule::allKinds());
    const FaultSchedule always(42, 1.0, {FaultKind::Flip});
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(never.decide("/x", i).kind, FaultKind::None);
        EXPECT_EQ(always.decide("/x", i).kind, FaultKind::Flip);
    }
}

TEST(FaultScheduleTest, ListsOfNamesParseOrAreRefusedWhole) {
    EXPECT_EQ(FaultSchedule::parseList("all")->size(), FaultSchedule::allKinds().size());
    EXPECT_EQ(*FaultSchedule::parseList("reset,503-retry-after"),
              (std::vector<FaultKind>{FaultKind::Reset, FaultKind::UnavailableRetry}));
    EXPECT_FALSE(FaultSchedule::parseList("reset,bogus"));
    EXPECT_FALSE(FaultSchedule::parseList(""));
    for (const FaultKind kind : FaultSchedule::allKinds())
        EXPECT_EQ(FaultSchedule::fromName(FaultSchedule::name(kind)), kind);
}

} // namespace
} // namespace qbk
