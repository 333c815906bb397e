#include "platform/ChildProcess.h"
#include "platform/Platform.h"

#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace qbk::platform {

namespace {

HANDLE openInheritableLog(const std::filesystem::path& path) {
    if (path.empty())
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof(inherit);
    inherit.bInheritHandle = TRUE;
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::wstring commandLine(const ChildProcessSpec& setup) {
    if (!setup.windowsCommandLine.empty())
        return setup.windowsCommandLine;
    std::wstring line = L"\"" + setup.program.native() + L"\"";
    for (const auto& argument : setup.arguments)
        line += L" " + quoteWindowsArgument(utf8ToWide(argument));
    return line;
}

} // namespace

ChildProcess::~ChildProcess() {
    release();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), handle_(other.handle_), reaped_(other.reaped_) {
    other.pid_ = 0;
    other.handle_ = nullptr;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        release();
        pid_ = other.pid_;
        handle_ = other.handle_;
        reaped_ = other.reaped_;
        other.pid_ = 0;
        other.handle_ = nullptr;
    }
    return *this;
}

void ChildProcess::release() {
    if (handle_)
        ::CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    pid_ = 0;
}

bool ChildProcess::start(const ChildProcessSpec& setup, std::string& error, int& systemError) {
    HANDLE log = openInheritableLog(setup.outputFile);
    const bool redirect = log != INVALID_HANDLE_VALUE;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (redirect) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = log;
        startup.hStdError = log;
        startup.hStdInput = nullptr;
    }
    std::wstring line = commandLine(setup);
    PROCESS_INFORMATION info{};
    const wchar_t* directory =
        setup.workingDirectory.empty() ? nullptr : setup.workingDirectory.c_str();
    const BOOL created = ::CreateProcessW(setup.program.c_str(), line.data(), nullptr, nullptr,
                                          redirect ? TRUE : FALSE, CREATE_NO_WINDOW, nullptr,
                                          directory, &startup, &info);
    const DWORD lastError = ::GetLastError();
    if (redirect)
        ::CloseHandle(log);
    if (!created) {
        systemError = static_cast<int>(lastError);
        error = "CreateProcessW error " + std::to_string(lastError);
        return false;
    }
    ::CloseHandle(info.hThread);
    handle_ = info.hProcess;
    pid_ = static_cast<long>(info.dwProcessId);
    reaped_ = false;
    return true;
}

ChildProcess::WaitResult ChildProcess::waitFor(std::chrono::milliseconds timeout, int& exitCode) {
    if (!handle_)
        return WaitResult::Failed;
    const DWORD rc =
        ::WaitForSingleObject(static_cast<HANDLE>(handle_), static_cast<DWORD>(timeout.count()));
    if (rc == WAIT_TIMEOUT)
        return WaitResult::StillRunning;
    if (rc != WAIT_OBJECT_0)
        return WaitResult::Failed;
    DWORD code = 0;
    // An exit code that cannot be read is no proof of success.
    if (!::GetExitCodeProcess(static_cast<HANDLE>(handle_), &code))
        code = 1;
    exitCode = static_cast<int>(code);
    reaped_ = true;
    return WaitResult::Exited;
}

bool ChildProcess::kill() {
    if (!handle_ || reaped_)
        return true;
    ::TerminateProcess(static_cast<HANDLE>(handle_), 1);
    int exitCode = 0;
    return waitFor(std::chrono::seconds(5), exitCode) == WaitResult::Exited;
}

} // namespace qbk::platform
