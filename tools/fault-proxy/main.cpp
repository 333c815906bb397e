// qbk-fault-proxy: a loopback HTTP proxy in front of the mirror that resets, stalls, cuts and
// corrupts answers by a seeded schedule, for the soak and the tests of the install path.
//
//   qbk-fault-proxy --upstream http://127.0.0.1:PORT [--port N] [--seed N] [--rate R]
//                   [--faults all|reset,stall,...] [--stall-ms N] [--log FILE]
//
// Prints "port=<p> url=http://127.0.0.1:<p>" once it listens and runs until it is killed.

#include "tools/fault-proxy/FaultProxy.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

using qbk::faultproxy::FaultSchedule;
using qbk::faultproxy::ProxyOptions;

constexpr const char* kUsage =
    "usage: qbk-fault-proxy --upstream http://127.0.0.1:PORT [--port N] [--seed N] [--rate R]\n"
    "                       [--faults all|NAME,...] [--stall-ms N] [--log FILE]\n";

int portOf(const std::string& url) {
    const auto colon = url.rfind(':');
    if (colon == std::string::npos || url.rfind("http://127.0.0.1:", 0) != 0)
        return 0;
    return std::atoi(url.c_str() + colon + 1);
}

bool parse(const std::vector<std::string>& args, ProxyOptions& options, std::string& logPath) {
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        const std::string& name = args[i];
        const std::string& value = args[i + 1];
        if (name == "--upstream") {
            options.upstreamPort = portOf(value);
        } else if (name == "--port") {
            options.listenPort = std::atoi(value.c_str());
        } else if (name == "--seed") {
            options.seed = std::strtoull(value.c_str(), nullptr, 10);
        } else if (name == "--rate") {
            options.rate = std::atof(value.c_str());
        } else if (name == "--stall-ms") {
            options.stall = std::chrono::milliseconds(std::atoi(value.c_str()));
        } else if (name == "--log") {
            logPath = value;
        } else if (name == "--faults") {
            const auto kinds = FaultSchedule::parseList(value);
            if (!kinds)
                return false;
            options.kinds = *kinds;
        } else {
            return false;
        }
    }
    return args.size() % 2 == 0 && options.upstreamPort > 0 && options.rate >= 0.0 &&
           options.rate <= 1.0;
}

} // namespace

int main(int argc, char** argv) {
    ProxyOptions options;
    std::string logPath;
    if (!parse(std::vector<std::string>(argv + 1, argv + argc), options, logPath)) {
        std::cerr << kUsage;
        return 2;
    }
    if (!logPath.empty()) {
        options.log = std::fopen(logPath.c_str(), "a");
        if (!options.log) {
            std::cerr << "qbk-fault-proxy: cannot open " << logPath << '\n';
            return 1;
        }
    }
    qbk::faultproxy::FaultProxy proxy(options);
    if (!proxy.listening()) {
        std::cerr << "qbk-fault-proxy: cannot listen on 127.0.0.1:" << options.listenPort << '\n';
        return 1;
    }
    std::cout << "port=" << proxy.port() << " url=http://127.0.0.1:" << proxy.port() << std::endl;
    proxy.run();
}
