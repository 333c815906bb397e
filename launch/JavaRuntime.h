#pragma once

#include "launch/HttpClient.h"
#include "platform/TargetPlatform.h"

#include <filesystem>
#include <functional>
#include <string>

namespace qbk {

enum class LogStream { Output, Error };
// Receives the runtime's diagnostic lines, exactly as they would go to the console.
using LogFn = std::function<void(LogStream stream, const std::wstring& text)>;

// The private Java 21 runtime below the launcher directory. When it is missing it is
// downloaded into runtime/<archive>, unpacked into runtime/_extract_tmp and its top-level
// folder moved to runtime/java21. Leftovers of an interrupted attempt are cleared first.
class JavaRuntime {
public:
    // Without a log function the lines go to standard output and error as UTF-8.
    JavaRuntime(std::filesystem::path launcherDir, TargetPlatform target, LogFn log = {},
                TransferLimits limits = {});

    // True exactly when bin/<windowless Java executable> exists below the Java home.
    bool IsInstalled() const;
    // True when the runtime is present at the end; downloads from url when it is not.
    bool EnsureInstalled(const std::string& url);

    // The Adoptium binary URL of the target's runtime below the given base URL.
    static std::string downloadUrl(const std::string& adoptiumBase, const TargetPlatform& target);

    const std::filesystem::path& javaHome() const { return javaHome_; }
    // Why the latest EnsureInstalled failed, in plain words; empty when unknown.
    const std::wstring& failure() const { return failure_; }
    // bin/java.exe or bin/java: starts the game and the installer.
    std::filesystem::path javaExecutable() const;
    // bin/javaw.exe or bin/java: marks an installed runtime.
    std::filesystem::path windowlessExecutable() const;

private:
    std::filesystem::path runtimeDir() const { return baseDir_ / "runtime"; }
    bool download(const std::string& url, const std::filesystem::path& archive);
    bool unpack(const std::filesystem::path& archive, const std::filesystem::path& extractDir);
    bool moveIntoPlace(const std::filesystem::path& extractDir);
    void output(const std::wstring& text) const { log_(LogStream::Output, text); }
    void error(const std::wstring& text) const { log_(LogStream::Error, text); }

    std::filesystem::path baseDir_;
    std::filesystem::path javaHome_;
    TargetPlatform target_;
    HttpClient http_;
    LogFn log_;
    TransferWatch* watch_ = nullptr;
    std::wstring failure_;
};

} // namespace qbk
