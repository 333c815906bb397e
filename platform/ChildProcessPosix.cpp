#include "platform/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qbk::platform {

namespace {

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

std::vector<char*> argumentVector(std::vector<std::string>& storage) {
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (auto& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return argv;
}

} // namespace

ChildProcess::~ChildProcess() {
    release();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), handle_(other.handle_), reaped_(other.reaped_) {
    other.pid_ = 0;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        release();
        pid_ = other.pid_;
        reaped_ = other.reaped_;
        other.pid_ = 0;
    }
    return *this;
}

void ChildProcess::release() {
    pid_ = 0;
}

bool ChildProcess::start(const ChildProcessSpec& setup, std::string& error, int& systemError) {
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    int output = -1;
    if (!setup.outputFile.empty())
        output = ::open(setup.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(actions.get(), output, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(actions.get(), output, STDERR_FILENO);
    }
    if (!setup.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(actions.get(), setup.workingDirectory.c_str());

    std::vector<std::string> storage{setup.program.native()};
    storage.insert(storage.end(), setup.arguments.begin(), setup.arguments.end());
    std::vector<char*> argv = argumentVector(storage);

    pid_t pid = 0;
    const int rc =
        ::posix_spawn(&pid, setup.program.c_str(), actions.get(), nullptr, argv.data(), environ);
    if (output >= 0)
        ::close(output); // the child has its own copies
    if (rc != 0) {
        systemError = rc;
        error = std::strerror(rc);
        return false;
    }
    pid_ = pid;
    reaped_ = false;
    return true;
}

ChildProcess::WaitResult ChildProcess::waitFor(std::chrono::milliseconds timeout, int& exitCode) {
    if (pid_ <= 0 || reaped_)
        return WaitResult::Failed;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        const pid_t rc = ::waitpid(static_cast<pid_t>(pid_), &status, WNOHANG);
        if (rc == static_cast<pid_t>(pid_)) {
            reaped_ = true;
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return WaitResult::Exited;
        }
        if (rc < 0 && errno != EINTR)
            return WaitResult::Failed;
        if (std::chrono::steady_clock::now() >= deadline)
            return WaitResult::StillRunning;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

bool ChildProcess::kill() {
    if (pid_ <= 0 || reaped_)
        return true;
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
    int exitCode = 0;
    return waitFor(std::chrono::seconds(5), exitCode) == WaitResult::Exited;
}

} // namespace qbk::platform
