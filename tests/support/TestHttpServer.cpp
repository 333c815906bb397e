#include "tests/support/TestHttpServer.h"

#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
#include "tests/support/TestCertificates.h"
#endif
#include <algorithm>
#include <stdexcept>
namespace qbk::test {
namespace {
// httplib hands every accepted socket to its task queue exactly once, so counting the queued
// jobs counts the TCP connections. The gate runs on the accept thread: while it blocks, later
// connections wait in the kernel's backlog, unanswered.
class CountingTaskQueue : public httplib::TaskQueue {
public:
    CountingTaskQueue(std::atomic<std::size_t>& counter, std::function<void()> gate)
        : counter_(counter), gate_(std::move(gate)) {}
    void enqueue(std::function<void()> job) override {
        ++counter_;
        gate_();
        pool_.enqueue(std::move(job));
    }
    void shutdown() override { pool_.shutdown(); }

private:
    // Enough workers that a pool of 32 clients with kept-alive connections never waits.
    httplib::ThreadPool pool_{64};
    std::atomic<std::size_t>& counter_;
    std::function<void()> gate_;
};
// httplib 0.11 listens with a backlog of 5, so a burst of clients (a download pool starting
// its threads) overflows it and waits a second for the SYN to be resent. Listening again on
// the bound socket widens the queue; the socket is protected, which this accessor may name.
struct ListeningSocket : httplib::Server {
    static void widenBacklog(httplib::Server& server) {
        ::listen((server.*(&ListeningSocket::svr_sock_)).load(), 512);
    }
};
std::size_t number(const std::smatch& match, std::size_t index) {
    return static_cast<std::size_t>(std::stoull(match[index].str()));
}
} // namespace
TestHttpServer::TestHttpServer() : TestHttpServer(std::make_unique<httplib::Server>(), "http") {}
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
TestHttpServer::TestHttpServer(const TestCertificates& tls)
    : TestHttpServer(std::make_unique<httplib::SSLServer>(tls.certFile().string().c_str(),
                                                          tls.keyFile().string().c_str()),
                     "https") {}
#endif
TestHttpServer::TestHttpServer(std::unique_ptr<httplib::Server> server, std::string scheme)
    : server_(std::move(server)), scheme_(std::move(scheme)) {
    server_->new_task_queue = [this] {
        return new CountingTaskQueue(connections_, [this] {
            std::unique_lock lock(stopMutex_);
            stopSignal_.wait(lock, [this] { return !holding_ || stopping_; });
        });
    };
    // Headers and body go out in separate writes; without this, Nagle's algorithm and the
    // client's delayed ACK add 40 ms to every answer on a kept-alive connection.
    server_->set_tcp_nodelay(true);
    server_->set_keep_alive_max_count(1000000);
    server_->set_keep_alive_timeout(2);
    server_->set_pre_routing_handler([this](const auto&, auto&) {
        ++requests_;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    const auto dispatcher = [this](const auto& request, auto& response) {
        dispatch(request, response);
    };
    server_->Get(".*", dispatcher);
    server_->Post(".*", dispatcher);
    addBuiltInRoutes();
    port_ = server_->is_valid() ? server_->bind_to_any_port("127.0.0.1") : -1;
    if (port_ <= 0)
        throw std::runtime_error("test server cannot start on 127.0.0.1");
    ListeningSocket::widenBacklog(*server_);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() is a no-op until the accept loop runs, so the destructor must not come first.
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
TestHttpServer::~TestHttpServer() {
    setFlag(stopping_, true);
    server_->stop();
    thread_.join();
}
void TestHttpServer::setFlag(bool& flag, bool value) {
    {
        std::lock_guard lock(stopMutex_);
        flag = value;
    }
    stopSignal_.notify_all();
}
std::string TestHttpServer::patternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + i / 251 + 7) & 0xff);
    return bytes;
}
void TestHttpServer::addRoute(std::string method, const std::string& pattern, Handler handler) {
    std::lock_guard lock(routesMutex_);
    routes_.push_back({std::move(method), std::regex(pattern), std::move(handler)});
}
void TestHttpServer::dispatch(const httplib::Request& request, httplib::Response& response) {
    Handler handler;
    std::smatch match;
    {
        std::lock_guard lock(routesMutex_);
        const auto route = std::find_if(routes_.rbegin(), routes_.rend(), [&](const Route& r) {
            return r.method == request.method && std::regex_match(request.path, match, r.pattern);
        });
        if (route == routes_.rend()) {
            response.status = 404;
            return response.set_content("no route", "text/plain");
        }
        handler = route->handler;
    }
    handler(request, response, match);
}
bool TestHttpServer::pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(stopMutex_);
    return !stopSignal_.wait_for(lock, duration, [this] { return stopping_; });
}
void TestHttpServer::addBuiltInRoutes() {
    get(R"(/bytes/(\d+))", [](const auto&, auto& response, const auto& match) {
        response.set_content(patternBytes(number(match, 1)), "application/octet-stream");
    });
    get(R"(/chunked/(\d+))", [](const auto&, auto& response, const auto& match) {
        auto body = std::make_shared<std::string>(patternBytes(number(match, 1)));
        response.set_chunked_content_provider("application/octet-stream", [body](auto, auto& sink) {
            return sink.write(body->data(), body->size()) && (sink.done(), true);
        });
    });
    get(R"(/redirect/(\d+))", [](const auto&, auto& response, const auto& match) {
        if (const std::size_t hops = number(match, 1); hops > 0)
            return response.set_redirect("/redirect/" + std::to_string(hops - 1));
        response.set_content("done", "text/plain");
    });
    get(R"(/status/(\d{3}))", [](const auto&, auto& response, const auto& match) {
        response.status = std::stoi(match[1].str());
        response.set_content("status " + match[1].str(), "text/plain");
    });
    get(R"(/stall/(\d+))", [this](const auto&, auto& response, const auto& match) {
        if (pause(std::chrono::milliseconds(number(match, 1))))
            response.set_content("late", "text/plain");
    });
    get(R"(/trickle/(\d+)/(\d+))", [this](const auto&, auto& response, const auto& match) {
        const std::chrono::milliseconds interval(number(match, 2));
        auto body = std::make_shared<std::string>(patternBytes(number(match, 1)));
        response.set_content_provider(body->size(), "application/octet-stream",
                                      [this, body, interval](auto at, auto, auto& sink) {
                                          return pause(interval) &&
                                                 sink.write(body->data() + at, 1);
                                      });
    });
}
} // namespace qbk::test
