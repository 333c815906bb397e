#include "tools/qbk-tool/Commands.h"

#include "app/ProjectInfo.h"
#include "app/Settings.h"
#include "game/MinecraftInstaller.h"
#include "launch/HttpClient.h"
#include "launch/JavaRuntime.h"
#include "platform/Platform.h"

#include <chrono>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>

namespace qbk::tool {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

Endpoints launcherEndpoints(const fs::path& launcherDir) {
    Settings settings(launcherDir / "Quellbrook.ini");
    const Endpoints endpoints = settings.endpoints();
    if (!endpoints.caBundle.empty())
        HttpClient::setExtraCaBundle(platform::pathFromUtf8(endpoints.caBundle));
    return endpoints;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void progressLine(const std::string& tag, const std::wstring& text, int percent) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::cerr << tag << percent << "% " << platform::wideToUtf8(text) << '\n';
}

int finish(nlohmann::json summary, bool ok, const std::string& message) {
    summary["ok"] = ok;
    if (!ok) {
        summary["error"] = message;
        std::cerr << message << '\n';
    }
    std::cout << summary.dump() << std::endl;
    return ok ? 0 : 1;
}

} // namespace

int installVanilla(const ToolOptions& options) {
    const auto start = Clock::now();
    MinecraftInstaller installer(options.launcherDir / "minecraft",
                                 options.launcherDir / "runtime" / "java21",
                                 launcherEndpoints(options.launcherDir), options.target);
    const bool ok = installer.EnsureVanilla(
        std::string(project::kMinecraftVersion),
        [](const std::wstring& text, int percent) { progressLine("[Minecraft] ", text, percent); });
    const nlohmann::json summary = {{"command", "install-vanilla"},
                                    {"target", options.target.osName},
                                    {"filesDownloaded", installer.stats.filesDownloaded},
                                    {"filesSkipped", installer.stats.filesSkipped},
                                    {"bytes", installer.stats.bytesDownloaded},
                                    {"seconds", secondsSince(start)}};
    return finish(summary, ok, platform::wideToUtf8(installer.lastError));
}

int installJava(const ToolOptions& options) {
    const auto start = Clock::now();
    const Endpoints endpoints = launcherEndpoints(options.launcherDir);
    std::string lastError;
    JavaRuntime runtime(options.launcherDir, options.target,
                        [&lastError](LogStream stream, const std::wstring& text) {
                            std::cerr << platform::wideToUtf8(text) << '\n';
                            if (stream == LogStream::Error)
                                lastError = platform::wideToUtf8(text);
                        });
    const bool wasInstalled = runtime.IsInstalled();
    const bool ok =
        runtime.EnsureInstalled(JavaRuntime::downloadUrl(endpoints.adoptium, options.target));
    const nlohmann::json summary = {{"command", "install-java"},
                                    {"target", options.target.osName},
                                    {"alreadyInstalled", wasInstalled},
                                    {"javaHome", platform::pathToUtf8(runtime.javaHome())},
                                    {"seconds", secondsSince(start)}};
    return finish(summary, ok, lastError.empty() ? "Java runtime installation failed" : lastError);
}

} // namespace qbk::tool
