#pragma once

#include "app/ReleaseManifest.h"
#include "launch/HttpClient.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qbk {

// The outcome of one step of the update; text is for the player (Russian, UTF-8).
struct UpdateResult {
    enum class Code { Ok, Cancelled, Busy, ReadOnly, Network, Integrity, Unsafe, FileSystem };
    Code code = Code::Ok;
    std::string text;
    bool ok() const { return code == Code::Ok; }
};

// The launcher replacing its own files from a release package. Nothing outside the staging
// folder changes until swap(); swap() moves the old files aside (name + ".old") and the new
// ones in (file by file inside a folder both have), and on any failure puts every moved file
// back. The INI, the game, the runtime, the
// mods and the logs are never part of a package and never touched.
class SelfUpdate {
public:
    // executableName: the running launcher's file name, which a package must bring.
    SelfUpdate(std::filesystem::path launcherDir, std::filesystem::path executableName);

    std::filesystem::path stagingDir() const { return launcherDir_ / "update-staging"; }

    // latest.json and latest.json.sig below baseUrl, fetched within the client's limits.
    UpdateOffer check(HttpClient& http, const std::string& baseUrl,
                      std::string_view currentVersion) const;
    // A folder the launcher cannot write stops the update before anything is fetched.
    UpdateResult checkWritable() const;
    // Downloads the package (progress may cancel), checks its size and SHA-256 and unpacks
    // it into the staging folder, refusing entries that escape it or name the player's files.
    UpdateResult stage(HttpClient& http, const ReleasePackage& package, ProgressFn progress);
    bool isStaged() const;
    // failBeforeRename: for tests, a failure pretended at the given rename (0, 1, ...).
    UpdateResult swap(const std::function<bool(std::size_t)>& failBeforeRename = {});
    // Puts the files swap() moved aside back (a new launcher that did not start).
    UpdateResult revert();
    // The new launcher's clean-up of what swap() moved aside; true when nothing is left.
    bool removeLeftovers();

    // Names that a package may never bring: the player's and the game's files.
    static bool isProtectedName(const std::string& name);

private:
    std::filesystem::path packageRoot() const;
    std::filesystem::path journal() const { return stagingDir() / "moved-aside.txt"; }
    // (whether an old entry was moved aside, name) per entry of the package.
    std::vector<std::pair<bool, std::string>> readJournal() const;

    std::filesystem::path launcherDir_;
    std::filesystem::path executableName_;
};

} // namespace qbk
