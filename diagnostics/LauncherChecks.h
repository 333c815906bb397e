#pragma once

#include "app/Endpoints.h"
#include "diagnostics/CheckResult.h"
#include "launch/TransferLimits.h"
#include "platform/TargetPlatform.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace qbk {

// The nine read-only checks of a launcher folder and its network, run one after another on
// the calling thread. Nothing is changed on disk but a short-lived write-test file.
class LauncherChecks {
public:
    // Bytes free to the user on the volume of a folder; nullopt when it cannot be told.
    using FreeSpaceProbe =
        std::function<std::optional<std::uint64_t>(const std::filesystem::path&)>;

    struct Config {
        std::filesystem::path launcherDir;
        TargetPlatform target = TargetPlatform::host();
        Endpoints endpoints = Endpoints::defaults();
        std::chrono::milliseconds javaTimeout{10000};
        // Every probe gives up on a silent host instead of waiting on the network stack.
        TransferLimits probeLimits{std::chrono::milliseconds(5000), 1, std::chrono::seconds(8)};
        FreeSpaceProbe freeSpace; // empty: the volume's own figure
    };

    explicit LauncherChecks(Config config);

    // The nine results in their fixed order, write access first, the internet last.
    std::vector<CheckResult> runAllChecks() const;

    CheckResult checkWriteAccess() const;
    CheckResult checkDiskSpace() const;
    CheckResult checkJava() const;
    CheckResult checkClient() const;
    CheckResult checkLibraries() const;
    CheckResult checkAssets() const;
    CheckResult checkNeoForge() const;
    CheckResult checkMods() const;
    CheckResult checkInternet() const;

    static std::optional<std::uint64_t> volumeFreeSpace(const std::filesystem::path& dir);

private:
    std::filesystem::path gameDir() const { return config_.launcherDir / "minecraft"; }

    Config config_;
};

} // namespace qbk
