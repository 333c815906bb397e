#pragma once

#include "platform/ChildProcess.h"
#include "tests/support/WholeFile.h"

#include <chrono>
#include <thread>

namespace qbk::test {

// A stand-in tool as a child process writing to outputFile. As a server it prints
// "port=<n>" once it listens (port() stays 0 when that does not come within 5 s), and it is
// ended by its pid when the object goes.
class ToolProcess {
public:
    using Args = std::vector<std::string>;
    struct Exit {
        int code = -1; // -1 also when it did not start or end within 20 s
        std::string output;
    };

    ToolProcess(const std::filesystem::path& program, const Args& args,
                const std::filesystem::path& outputFile) {
        std::string error;
        const bool started = process_.start({program, args, {}, outputFile, {}}, error, port_);
        port_ = 0;
        for (int tries = 0; started && port_ == 0 && tries < 100; ++tries) {
            const std::string out = readWholeFile(outputFile);
            if (out.starts_with("port=") && out.find('\n') != std::string::npos)
                port_ = std::stoi(out.substr(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(port_ == 0 ? 50 : 0));
        }
    }
    ~ToolProcess() { process_.kill(); }
    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // Runs a command in dir to its end; one still running after 20 s is killed.
    static Exit run(const std::filesystem::path& program, const Args& args,
                    const std::filesystem::path& dir, const std::filesystem::path& outputFile) {
        platform::ChildProcess process;
        std::string error;
        int code = 0;
        Exit exit;
        if (process.start({program, args, dir, outputFile, {}}, error, code) &&
            process.waitFor(std::chrono::seconds(20), code) ==
                platform::ChildProcess::WaitResult::Exited)
            exit.code = code;
        process.kill();
        exit.output = readWholeFile(outputFile);
        return exit;
    }

private:
    platform::ChildProcess process_;
    int port_ = 0;
};

} // namespace qbk::test
