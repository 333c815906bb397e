#pragma once

#include "game/MinecraftInstaller.h"
#include "game/StatusFn.h"
#include "launch/JavaRuntime.h"
#include "launch/TransferLimits.h"
#include "platform/TargetPlatform.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace qbk {

// Puts the NeoForge loader on top of the vanilla game of a MinecraftInstaller: confirms (or
// picks) the version on the maven repository and, while its version JSON is missing, runs the
// repository's installer jar with the private runtime. Results go to the installer's
// neoForgeVersion and lastError fields.
class NeoForgeInstaller {
public:
    static constexpr std::chrono::milliseconds kDefaultInstallerTimeLimit =
        std::chrono::minutes(10);

    // Without a log function the "[NeoForge] " lines go to standard output and error as UTF-8.
    NeoForgeInstaller(MinecraftInstaller& installer, std::string mavenBase, TargetPlatform target,
                      LogFn log = {},
                      std::chrono::milliseconds installerTimeLimit = kDefaultInstallerTimeLimit,
                      TransferLimits limits = {});

    // pinnedVersion empty: the last release of the list for this Minecraft version.
    bool InstallNeoForge(const std::string& mcVersion, const std::string& pinnedVersion,
                         const StatusFn& status);
    // The version list is asked every time; when it cannot be had and the pinned version is
    // already installed, that installation is used.
    bool ResolveNeoForgeVersion(const std::string& mcVersion, const std::string& pinnedVersion,
                                std::string& version);
    // Tries "--install-client", then "--installClient"; each run is ended after the time limit.
    bool RunNeoForgeInstaller(const std::filesystem::path& installerJar, const StatusFn& status);

    std::filesystem::path javaExecutable() const;

private:
    enum class RunOutcome { Succeeded, Rejected, Failed };

    bool fail(const std::string& utf8Text);
    bool releasePrefix(const std::string& mcVersion, std::string& prefix);
    bool fetchVersionList(std::vector<std::string>& versions);
    bool useInstalledAfterListFailure(const std::string& pinnedVersion, std::string& version);
    RunOutcome runInstallerOnce(const std::filesystem::path& installerJar, const std::string& flag);
    void writeLauncherProfilesStub() const;
    bool stopRequested() const { return limits_.watch && limits_.watch->stopRequested(); }

    MinecraftInstaller& installer_;
    std::string mavenBase_;
    TargetPlatform target_;
    LogFn log_;
    std::chrono::milliseconds installerTimeLimit_;
    TransferLimits limits_;
};

} // namespace qbk
