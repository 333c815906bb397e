#pragma once

#include "launch/HttpClient.h"
#include "launch/JavaRuntime.h"
#include "mods/ModManifest.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qbk {

// Brings the mods folder in line with the server's manifest for one launch: downloads every
// listed mod that is missing or whose size differs. Extra files are never deleted here.
class ModSyncJob {
public:
    // Without a log function the "[Mods] " lines go to standard output and error as UTF-8.
    ModSyncJob(std::string manifestUrl, std::filesystem::path modsDir, LogFn log = {},
               TransferLimits limits = {});

    // False when the manifest could not be downloaded or is not a manifest at all; the launch
    // then goes on with the mods already installed.
    bool fetchModManifest(std::vector<ModManifestEntry>& entries);
    // The number of files downloaded, or -1 when a download or a replacement failed (the file
    // that was there before stays, and later entries are not attempted).
    int syncMods(const std::vector<ModManifestEntry>& entries);
    // After syncMods returned -1: the mod that failed and why ("name: reason").
    const std::wstring& failure() const { return failure_; }

private:
    enum class EntryOutcome { UpToDate, Downloaded, Skipped, Failed };

    EntryOutcome syncEntry(const ModManifestEntry& entry);
    DownloadCheck checkFor(const ModManifestEntry& entry, const std::wstring& name) const;
    void output(const std::wstring& text) const { log_(LogStream::Output, text); }
    void error(const std::wstring& text) const { log_(LogStream::Error, text); }

    std::string manifestUrl_;
    std::filesystem::path modsDir_;
    LogFn log_;
    HttpClient http_;
    TransferWatch* watch_ = nullptr;
    std::wstring failure_;
};

} // namespace qbk
