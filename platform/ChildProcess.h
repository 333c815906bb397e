#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace qbk::platform {

struct ChildProcessSpec {
    std::filesystem::path program;
    std::vector<std::string> arguments;     // UTF-8, without the program itself
    std::filesystem::path workingDirectory; // empty: the launcher's own
    // Receives standard output and standard error, recreated empty; empty path or a file
    // that cannot be created: the child writes nowhere.
    std::filesystem::path outputFile;
    // Windows only: when set, the exact command line to pass instead of one quoted from
    // arguments (callers that must control its form build it themselves).
    std::wstring windowsCommandLine;
};

// A started child process: no console window on Windows, standard input closed. Dropping
// the object neither waits for the child nor ends it: a game lives on after the launcher.
class ChildProcess {
public:
    enum class WaitResult { Exited, StillRunning, Failed };

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False with the system's error text and number when the process could not be created.
    bool start(const ChildProcessSpec& setup, std::string& error, int& systemError);

    // Waits at most timeout; exitCode is set when the result is Exited.
    WaitResult waitFor(std::chrono::milliseconds timeout, int& exitCode);
    // Ends the child at once (used on a time bound); true when it is gone.
    bool kill();

    long pid() const { return pid_; }
    bool isStarted() const { return pid_ > 0; }

private:
    void release();

    long pid_ = 0;
    void* handle_ = nullptr; // the process handle on Windows
    bool reaped_ = false;
};

// The Windows command-line form of one argument, as CommandLineToArgvW splits it back:
// arguments without spaces, tabs or quotes stay as they are; others are quoted with
// backslashes before a quote and at the end doubled and inner quotes escaped.
std::wstring quoteWindowsArgument(const std::wstring& argument);

} // namespace qbk::platform
