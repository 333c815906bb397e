#pragma once

#include "tools/fault-proxy/FaultSchedule.h"
#include "tools/fault-proxy/TcpSocket.h"
#include "tools/fault-proxy/UpstreamLink.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace qbk::faultproxy {

struct ProxyOptions {
    int upstreamPort = 0; // the mirror on 127.0.0.1
    int listenPort = 0;   // 0: a free port
    std::uint64_t seed = 1;
    double rate = 0.05;
    std::vector<FaultKind> kinds = FaultSchedule::allKinds();
    std::chrono::milliseconds stall{1500};
    std::FILE* log = nullptr; // one line per injected fault; may be null
};

// An HTTP/1.1 reverse proxy on 127.0.0.1 in front of a mirror that spoils answers by a seeded
// schedule. Paths below "/.fault-proxy/" steer it: "seed/<n>" starts a new schedule with
// fresh counters, "off" passes everything through, "stats" answers the counts as JSON.
class FaultProxy {
public:
    explicit FaultProxy(ProxyOptions options);

    bool listening() const { return listener_.valid(); }
    int port() const { return listener_.localPort(); }
    // Accepts connections until the process ends, one thread each.
    void run();

private:
    struct Request {
        std::string method;
        std::string target;
        bool keepAlive = true;
    };

    void serve(TcpSocket socket);
    std::optional<Request> readRequest(TcpSocket& socket, std::string& buffer) const;
    bool handle(TcpSocket& socket, const Request& request, UpstreamLink& upstream);
    std::optional<Answer> control(const std::string& target);
    Fault nextFault(const std::string& target);
    bool sendWithFault(TcpSocket& socket, Answer answer, Fault fault, bool keepAlive);
    void logFault(const Fault& fault, const std::string& target, std::size_t bodySize);

    ProxyOptions options_;
    TcpSocket listener_;
    std::mutex mutex_; // guards what follows
    std::optional<FaultSchedule> schedule_;
    std::map<std::string, std::uint64_t> attempts_;
    std::map<std::string, std::uint64_t> faultCounts_;
    std::uint64_t requests_ = 0;
    std::uint64_t faults_ = 0;
    std::atomic<int> activeConnections_{0};
};

} // namespace qbk::faultproxy
