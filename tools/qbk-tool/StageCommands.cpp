#include "tools/qbk-tool/StageCommands.h"

#include "app/ProjectInfo.h"
#include "app/Settings.h"
#include "game/NeoForgeInstaller.h"
#include "launch/HttpClient.h"
#include "mods/ModSyncJob.h"
#include "platform/Platform.h"

#include <chrono>
#include <iostream>
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

void logLine(LogStream, const std::wstring& text) {
    std::cerr << platform::wideToUtf8(text) << std::flush;
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

int installNeoForge(const ToolOptions& options) {
    const auto start = Clock::now();
    const Endpoints endpoints = launcherEndpoints(options.launcherDir);
    MinecraftInstaller installer(options.launcherDir / "minecraft",
                                 options.launcherDir / "runtime" / "java21", endpoints,
                                 options.target);
    NeoForgeInstaller neoForge(installer, endpoints.neoforgeMaven, options.target, logLine);
    const std::string pinned(project::kNeoForgeVersion);
    const bool wasInstalled = platform::pathExists(installer.VersionJsonPath("neoforge-" + pinned));
    const bool ok = neoForge.InstallNeoForge(
        std::string(project::kMinecraftVersion), pinned, [](const std::wstring& text, int percent) {
            std::cerr << "[NeoForge] " << percent << "% " << platform::wideToUtf8(text) << '\n';
        });
    const nlohmann::json summary = {{"command", "install-neoforge"},
                                    {"target", options.target.osName},
                                    {"neoForgeVersion", installer.neoForgeVersion},
                                    {"alreadyInstalled", wasInstalled},
                                    {"seconds", secondsSince(start)}};
    return finish(summary, ok, platform::wideToUtf8(installer.lastError));
}

int syncMods(const ToolOptions& options) {
    const auto start = Clock::now();
    const Endpoints endpoints = launcherEndpoints(options.launcherDir);
    ModSyncJob job(endpoints.accountServer + "/api/mods",
                   options.launcherDir / "minecraft" / "mods", logLine);
    std::vector<ModManifestEntry> entries;
    const bool available = job.fetchModManifest(entries);
    const int downloaded = available ? job.syncMods(entries) : 0;
    const nlohmann::json summary = {{"command", "sync-mods"},
                                    {"manifestAvailable", available},
                                    {"entries", entries.size()},
                                    {"downloaded", downloaded},
                                    {"seconds", secondsSince(start)}};
    return finish(summary, available && downloaded >= 0,
                  available ? "Ошибка синхронизации модов." : "Манифест модов недоступен.");
}

} // namespace qbk::tool
