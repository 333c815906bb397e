#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <httplib.h>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>
namespace qbk::test {
class TestCertificates;
// A loopback HTTP (or HTTPS) server for tests: listens on 127.0.0.1 at a free port, on its own
// threads, from the constructor to the destructor. Built-in routes:
//   /bytes/<n>          n bytes of patternBytes(n) with Content-Length
//   /chunked/<n>        the same bytes, chunked, without Content-Length
//   /redirect/<n>       302 to /redirect/<n-1>; /redirect/0 answers "done"
//   /status/<code>      that status with the body "status <code>"
//   /stall/<ms>         sends nothing for ms milliseconds, then "late"
//   /trickle/<n>/<ms>   n bytes with Content-Length, one byte every ms milliseconds
class TestHttpServer {
public:
    using Handler =
        std::function<void(const httplib::Request&, httplib::Response&, const std::smatch&)>;
    TestHttpServer();
    explicit TestHttpServer(const TestCertificates& tls); // HTTPS with it (OpenSSL builds)
    ~TestHttpServer();
    int port() const { return port_; }
    std::string baseUrl() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }
    std::string url(const std::string& path) const { return baseUrl() + path; }
    // pattern is an ECMAScript regex matched against the whole path; match holds its groups.
    // Later routes, added at any time, win over earlier ones and over the built-in ones.
    void get(const std::string& pattern, Handler handler) { addRoute("GET", pattern, handler); }
    void post(const std::string& pattern, Handler handler) { addRoute("POST", pattern, handler); }
    // While held, new connections are left unanswered, even their TLS handshake, as by a
    // server that hangs; released ones are then served normally.
    void holdConnections() { setFlag(holding_, true); }
    void releaseConnections() { setFlag(holding_, false); }
    // TCP connections accepted and requests received since start or the last reset.
    std::size_t connectionsOpened() const { return connections_.load(); }
    std::size_t requestsServed() const { return requests_.load(); }
    void resetCounters() { connections_ = requests_ = 0; }
    static std::string patternBytes(std::size_t size);

private:
    struct Route {
        std::string method;
        std::regex pattern;
        Handler handler;
    };
    TestHttpServer(std::unique_ptr<httplib::Server> server, std::string scheme);
    void addRoute(std::string method, const std::string& pattern, Handler handler);
    void dispatch(const httplib::Request& request, httplib::Response& response);
    void addBuiltInRoutes();
    void setFlag(bool& flag, bool value); // under stopMutex_, waking the waiters
    // Sleeps up to duration; false when the server is stopping meanwhile.
    bool pause(std::chrono::milliseconds duration);
    std::unique_ptr<httplib::Server> server_;
    std::string scheme_;
    int port_ = -1;
    std::thread thread_;
    std::mutex routesMutex_;
    std::vector<Route> routes_;
    std::atomic<std::size_t> connections_{0}, requests_{0};
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stopping_ = false, holding_ = false;
};
} // namespace qbk::test
