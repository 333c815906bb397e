// A stand-in for the Modrinth API on 127.0.0.1, for tests and the local demo: version by file
// hash, project, and icons, answered from real replies mapped onto the stand-in world's jars.

#include "tools/modrinth-standin/ModrinthCatalog.h"
#include "tools/modrinth-standin/StandinOptions.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <httplib.h>
#include <iostream>
#include <thread>

namespace {

using qbk::modrinthstandin::ModrinthCatalog;
using qbk::modrinthstandin::StandinOptions;

std::atomic<bool> stopRequested{false};

extern "C" void onStopSignal(int) {
    stopRequested = true;
}

// The project the launcher's self-check asks for to tell that the API answers; the real API
// knows it as the Create mod.
constexpr const char* kCreateProject =
    R"({"slug":"create","title":"Create","project_type":"mod","id":"LNytGWDc"})";

void notFound(httplib::Response& response) {
    response.status = 404;
    response.set_content(
        R"({"error":"not_found","description":"the requested item was not found"})",
        "application/json");
}

// Answers 429 with Modrinth's rate-limit headers while refusals are left; true when it did.
class RateLimiter {
public:
    explicit RateLimiter(const StandinOptions& options)
        : left_(options.refuseCount), resetSeconds_(options.resetSeconds) {}

    bool refuse(httplib::Response& response) {
        int left = left_.load();
        while (left != 0 && !left_.compare_exchange_weak(left, left < 0 ? left : left - 1)) {
        }
        if (left == 0)
            return false;
        response.status = 429;
        response.set_header("X-Ratelimit-Limit", "300");
        response.set_header("X-Ratelimit-Remaining", "0");
        response.set_header("X-Ratelimit-Reset", std::to_string(resetSeconds_));
        response.set_content(R"({"error":"ratelimited"})", "application/json");
        return true;
    }

private:
    std::atomic<int> left_;
    int resetSeconds_;
};

void addRoutes(httplib::Server& server, const ModrinthCatalog& catalog, RateLimiter& limiter,
               int delayMs) {
    auto api = [&limiter, delayMs](auto answer) {
        return [&limiter, delayMs, answer](const httplib::Request& request,
                                           httplib::Response& response) {
            if (delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            if (!limiter.refuse(response))
                answer(request, response);
        };
    };
    server.Get(R"(/v2/version_file/([0-9a-fA-F]+))",
               api([&catalog](const httplib::Request& request, httplib::Response& response) {
                   const auto algorithm = request.get_param_value("algorithm");
                   const auto version = catalog.versionBySha1(request.matches[1]);
                   if ((algorithm.empty() || algorithm == "sha1") && version)
                       response.set_content(*version, "application/json");
                   else
                       notFound(response);
               }));
    server.Get(R"(/v2/project/([A-Za-z0-9_-]+))",
               api([&catalog](const httplib::Request& request, httplib::Response& response) {
                   if (const auto project = catalog.project(request.matches[1]))
                       response.set_content(*project, "application/json");
                   else if (request.matches[1] == "create")
                       response.set_content(kCreateProject, "application/json");
                   else
                       notFound(response);
               }));
    server.Get(R"(/icons/([A-Za-z0-9]+\.(png|webp)))",
               [&catalog](const httplib::Request& request, httplib::Response& response) {
                   if (const auto icon = catalog.icon(request.matches[1]))
                       response.set_content(icon->body, icon->contentType);
                   else
                       notFound(response);
               });
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = qbk::modrinthstandin::parseStandinOptions(
        std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "qbk-modrinth-standin: " << error << "\n" << qbk::modrinthstandin::usageText();
        return 2;
    }
    httplib::Server server;
    server.set_keep_alive_timeout(1); // a stop waits for idle keep-alive connections
    const int port = options->port == 0
                         ? server.bind_to_any_port("127.0.0.1")
                         : (server.bind_to_port("127.0.0.1", options->port) ? options->port : -1);
    if (port <= 0) {
        std::cerr << "qbk-modrinth-standin: cannot listen on 127.0.0.1:" << options->port << "\n";
        return 1;
    }
    // First line of the output; requests wait in the backlog until the routes are in place.
    std::printf("port=%d\n", port);
    std::fflush(stdout);
    ModrinthCatalog catalog;
    if (!catalog.load(options->testdataDir, "http://127.0.0.1:" + std::to_string(port), error)) {
        std::cerr << "qbk-modrinth-standin: " << error << "\n";
        return 1;
    }
    catalog.addJars(options->modsDirs, options->unknownFiles);
    RateLimiter limiter(*options);
    addRoutes(server, catalog, limiter, options->delayMs);

    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    std::thread stopper([&server] {
        while (!stopRequested)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        server.stop();
    });
    server.listen_after_bind();
    stopRequested = true;
    stopper.join();
    return 0;
}
