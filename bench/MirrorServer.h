#pragma once
// The full-size mirror of tools/mirror, generated for the URL nginx serves it at on loopback,
// for the benchmarks that install from it.
#include <filesystem>
#include <string>

namespace qbk::bench {

// A path quoted for a POSIX shell command line.
std::string shellQuoted(const std::filesystem::path& path);

class MirrorServer {
public:
    // The mirror is written to mirrorDir; nginx keeps its state (and access log) in stateDir.
    MirrorServer(std::filesystem::path mirrorDir, std::filesystem::path stateDir);
    ~MirrorServer();
    MirrorServer(const MirrorServer&) = delete;
    MirrorServer& operator=(const MirrorServer&) = delete;

    // Starts nginx, then generates the mirror for its URL; false, with the reason printed, when
    // either fails (nginx is stopped by the destructor all the same).
    bool start();
    const std::string& baseUrl() const { return baseUrl_; }
    const std::filesystem::path& mirrorDir() const { return mirrorDir_; }
    std::filesystem::path accessLog() const { return stateDir_ / "access.log"; }

private:
    bool startNginx();

    std::filesystem::path mirrorDir_;
    std::filesystem::path stateDir_;
    std::string baseUrl_;
    bool started_ = false;
};

} // namespace qbk::bench
