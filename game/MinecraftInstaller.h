#pragma once

#include "app/Endpoints.h"
#include "game/DownloadPool.h"
#include "game/StatusFn.h"
#include "platform/TargetPlatform.h"

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qbk {

// Installs the game below gameDir for one target: the vanilla files first, later stages build
// on what they leave. Operations return false and keep the reason in lastError.
class MinecraftInstaller {
public:
    // Transfers of the latest operation, for tools that report them.
    struct Stats {
        int filesDownloaded = 0;
        int filesSkipped = 0;
        std::int64_t bytesDownloaded = 0;
    };

    MinecraftInstaller(std::filesystem::path gameDir, std::filesystem::path javaHome,
                       Endpoints endpoints, TargetPlatform target);

    // Version JSON, client jar, the libraries the target admits, asset index and objects.
    bool EnsureVanilla(const std::string& version, const StatusFn& status);

    std::filesystem::path VersionJsonPath(const std::string& versionId) const;

    // Bounds and watch of every transfer of later operations.
    void setTransferLimits(const TransferLimits& limits) { limits_ = limits; }
    const TransferLimits& transferLimits() const { return limits_; }

    std::filesystem::path gameDir;
    std::filesystem::path javaHome;
    std::wstring lastError;
    std::string mcVersion;
    std::string neoForgeVersion;
    Stats stats;

private:
    bool SetError(const std::string& utf8Text);
    bool obtainVersionJson(const StatusFn& status, nlohmann::json& versionJson);
    bool fetchVersionJson(const StatusFn& status, const std::filesystem::path& path);
    bool downloadGameFiles(const nlohmann::json& versionJson, const StatusFn& status);
    bool collectGameTasks(const nlohmann::json& versionJson, std::vector<DownloadTask>& tasks);
    bool downloadAssets(const nlohmann::json& versionJson, const StatusFn& status);
    bool obtainAssetIndex(const nlohmann::json& assetIndex, const StatusFn& status,
                          std::string& indexBytes);
    bool runPool(const std::vector<DownloadTask>& tasks, int threads,
                 const PoolProgressFn& progress, std::string& error);
    bool fetchDocument(const std::string& url, const std::string& sha1, std::int64_t size,
                       std::string& body, std::string& error);
    void beginDownloads(const std::vector<DownloadTask>& tasks, const std::string& text,
                        int endPercent);
    bool stopRequested() const { return limits_.watch && limits_.watch->stopRequested(); }

    Endpoints endpoints_;
    TargetPlatform target_;
    TransferLimits limits_;
};

} // namespace qbk
