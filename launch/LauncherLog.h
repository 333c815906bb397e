#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

namespace qbk {

// The launcher's own log: while one lives, every line written to standard output or error
// still goes there and also, with a time stamp and secrets masked, to logsDir/launcher.log.
// Windows gives the launcher no console, so this file is all a player can send. The four
// previous runs stay as launcher.1.log (the last) to launcher.4.log.
class LauncherLog {
public:
    static constexpr int kKeptRuns = 4;

    explicit LauncherLog(const std::filesystem::path& logsDir);
    ~LauncherLog();
    LauncherLog(const LauncherLog&) = delete;
    LauncherLog& operator=(const LauncherLog&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    const std::filesystem::path& path() const { return path_; }

    // A value never to be written (a session's token); replaced by "***" from now on.
    static void addSecret(const std::string& value);
    // The line as the file receives it: secrets and the values of token and password keys
    // replaced by "***".
    static std::string masked(std::string line);

private:
    class Tee;
    void writeLine(std::string_view line);

    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<Tee> out_;
    std::unique_ptr<Tee> err_;
};

} // namespace qbk
