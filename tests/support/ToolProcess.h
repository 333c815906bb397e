#pragma once
#include "platform/ChildProcess.h"
#include "tests/support/WholeFile.h"

#include <chrono>
#include <httplib.h>
#include <thread>
namespace qbk::test {
// A stand-in tool as a child process writing to outputFile, ended by its pid when the object
// goes. A server prints "port=<n>" once it listens; port() stays 0 when that takes over 5 s.
class ToolProcess {
public:
    using Args = std::vector<std::string>;
    struct Exit {
        int code = -1; // also when it did not start or end within 20 s
        std::string output;
    };
    ToolProcess(const std::filesystem::path& program, const Args& args,
                const std::filesystem::path& outputFile) {
        std::string error, out;
        const bool started = process_.start({program, args, {}, outputFile, {}}, error, port_);
        for (int tries = 0; started && !out.ends_with('\n') && tries < 100; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            out = readWholeFile(outputFile);
        }
        const bool listens = out.starts_with("port=") && out.find('\n') != std::string::npos;
        port_ = listens ? std::stoi(out.substr(5)) : 0;
    }
    ~ToolProcess() { process_.kill(); }
    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    // The body of a GET of path on the tool's port; empty without a reply.
    std::string get(const std::string& path) const {
        const auto reply = httplib::Client("127.0.0.1", port_).Get(path);
        return reply ? reply->body : "";
    }
    // Runs a command in dir to its end; one still running after 20 s is killed.
    static Exit run(const std::filesystem::path& program, const Args& args,
                    const std::filesystem::path& dir, const std::filesystem::path& outputFile) {
        platform::ChildProcess process;
        std::string error;
        int code = -1;
        const bool ended = process.start({program, args, dir, outputFile, {}}, error, code) &&
                           process.waitFor(std::chrono::seconds(20), code) ==
                               platform::ChildProcess::WaitResult::Exited;
        process.kill();
        return {ended ? code : -1, readWholeFile(outputFile)};
    }

private:
    platform::ChildProcess process_;
    int port_ = 0;
};
} // namespace qbk::test
