#pragma once

#include "game/LaunchOptions.h"
#include "platform/TargetPlatform.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qbk {

class MinecraftInstaller;

// What starts the game: the Java main class and the JVM and game arguments, every
// placeholder resolved.
struct LaunchProfile {
    std::wstring mainClass;
    std::vector<std::wstring> jvmArgs;
    std::vector<std::wstring> gameArgs;
};

// Placeholder keys ("${auth_player_name}") and their values, in the order they are defined.
using PlaceholderTable = std::vector<std::pair<std::wstring, std::wstring>>;

// Assembles the profile from the installed NeoForge and vanilla version JSONs of the
// installer's gameDir, mcVersion and neoForgeVersion, for the target's library rules and
// classpath separator. False with the installer's lastError set; the profile is then unusable.
bool BuildLaunchProfile(MinecraftInstaller& installer, const TargetPlatform& target,
                        const LaunchOptions& options, LaunchProfile& profile);

// Appends the authentication agent as the last JVM argument:
// "-javaagent:" + jar + "=" + the account server base URL (its API root, no trailing slash).
void AppendAgentArgument(LaunchProfile& profile, const std::filesystem::path& agentJar,
                         const std::string& accountServerBaseUrl);

// Appends the classpath entries of one version JSON's admitted libraries; a library whose
// group, artifact and classifier are already in keys is skipped, so earlier JSONs win.
// Throws the JSON library's errors for entries of unexpected types.
void CollectLibraryPaths(const nlohmann::json& version, const std::filesystem::path& gameDir,
                         const TargetPlatform& target, std::vector<std::filesystem::path>& entries,
                         std::set<std::string>& keys);

// "group:artifact:version[:classifier]" -> "group:artifact[:classifier]".
std::string LibraryKey(const std::string& name);

// "group:artifact:version[:classifier]" -> the repository path of its jar ("/"-separated);
// empty for a name with fewer than three parts.
std::string MavenPath(const std::string& name);

// Appends the argument templates of one "jvm" or "game" list that are in force on the target.
// Throws the JSON library's errors for entries of unexpected types.
void CollectArguments(const nlohmann::json& list, const TargetPlatform& target,
                      std::vector<std::string>& templates);

// Appends every template with its placeholders replaced; a template naming a placeholder
// outside the table is dropped. Values are inserted as they are and never scanned again.
void ExpandPlaceholders(const std::vector<std::string>& templates, const PlaceholderTable& table,
                        std::vector<std::wstring>& arguments);

} // namespace qbk
