#include "game/LaunchProfile.h"

#include "app/ProjectInfo.h"
#include "game/FileBytes.h"
#include "game/LibraryRules.h"
#include "game/MinecraftInstaller.h"
#include "game/SafeRelativePath.h"
#include "platform/Platform.h"

#include <string_view>

namespace qbk {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr std::wstring_view kZeroUuid = L"00000000-0000-0000-0000-000000000000";

std::wstring wide(std::string_view utf8) {
    return platform::utf8ToWide(utf8);
}

std::wstring widePath(const fs::path& path) {
    return platform::utf8ToWide(platform::pathToUtf8(path));
}

bool fail(MinecraftInstaller& installer, const std::wstring& text) {
    installer.lastError = text;
    return false;
}

// The relative artifact path the version JSON names, or the maven path of the library name.
std::string artifactPath(const json& library, const std::string& name) {
    std::string path;
    const auto downloads = library.find("downloads");
    if (downloads != library.end() && downloads->is_object()) {
        const auto artifact = downloads->find("artifact");
        if (artifact != downloads->end() && artifact->is_object())
            path = artifact->value("path", std::string());
    }
    return path.empty() ? MavenPath(name) : path;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::vector<std::string> splitAtWhitespace(const std::string& text) {
    static constexpr std::string_view kWhitespace = " \t\r\n\f\v";
    std::vector<std::string> tokens;
    std::size_t start = text.find_first_not_of(kWhitespace);
    while (start != std::string::npos) {
        const std::size_t end = text.find_first_of(kWhitespace, start);
        tokens.push_back(text.substr(start, end - start));
        start = text.find_first_not_of(kWhitespace, end);
    }
    return tokens;
}

const std::wstring* placeholderValue(const PlaceholderTable& table, std::wstring_view key) {
    for (const auto& [name, value] : table)
        if (name == key)
            return &value;
    return nullptr;
}

// One pass over the template, so an inserted value (a player name, a path) is never taken
// for a placeholder itself. False when a placeholder is unknown or not closed.
bool expandTemplate(const std::wstring& text, const PlaceholderTable& table, std::wstring& out) {
    out.clear();
    std::size_t pos = 0;
    for (;;) {
        const std::size_t open = text.find(L"${", pos);
        if (open == std::wstring::npos) {
            out.append(text, pos);
            return true;
        }
        out.append(text, pos, open - pos);
        const std::size_t close = text.find(L'}', open + 2);
        if (close == std::wstring::npos)
            return false;
        const std::wstring* value =
            placeholderValue(table, std::wstring_view(text).substr(open, close - open + 1));
        if (!value)
            return false;
        out += *value;
        pos = close + 1;
    }
}

std::wstring joinClasspath(const std::vector<fs::path>& entries, char separator) {
    std::wstring classpath;
    for (const auto& entry : entries) {
        if (!classpath.empty())
            classpath += static_cast<wchar_t>(separator);
        classpath += widePath(entry);
    }
    return classpath;
}

std::string assetIndexId(const json& vanilla, const std::string& mcVersion) {
    if (!vanilla.is_object() || !vanilla.contains("assetIndex"))
        return mcVersion;
    return vanilla.at("assetIndex").value("id", mcVersion);
}

PlaceholderTable placeholderTable(const MinecraftInstaller& installer, const TargetPlatform& target,
                                  const LaunchOptions& options, const std::string& assetIndex,
                                  const std::wstring& classpath) {
    const fs::path& gameDir = installer.gameDir;
    return {
        {L"${auth_player_name}", options.playerName},
        {L"${version_name}", wide("neoforge-" + installer.neoForgeVersion)},
        {L"${game_directory}", widePath(gameDir)},
        {L"${assets_root}", widePath(gameDir / "assets")},
        {L"${assets_index_name}", wide(assetIndex)},
        {L"${auth_uuid}", options.uuid.empty() ? std::wstring(kZeroUuid) : options.uuid},
        {L"${auth_access_token}", options.accessToken.empty() ? L"0" : options.accessToken},
        {L"${auth_xuid}", L"0"},
        {L"${clientid}", L"0"},
        {L"${user_type}", L"legacy"},
        {L"${version_type}", L"release"},
        {L"${natives_directory}", widePath(gameDir / "natives")},
        {L"${launcher_name}", L"Quellbrook"},
        {L"${launcher_version}", wide(project::kShortVersion)},
        {L"${classpath}", classpath},
        {L"${library_directory}", widePath(gameDir / "libraries")},
        {L"${classpath_separator}",
         std::wstring(1, static_cast<wchar_t>(target.classpathSeparator))},
    };
}

void collectTemplates(const json& version, const TargetPlatform& target,
                      std::vector<std::string>& jvm, std::vector<std::string>& game) {
    if (!version.is_object() || !version.contains("arguments"))
        return;
    const json& arguments = version.at("arguments");
    CollectArguments(arguments.value("jvm", json::array()), target, jvm);
    CollectArguments(arguments.value("game", json::array()), target, game);
}

void appendLegacyGameArguments(const json& neoForge, const json& vanilla,
                               const PlaceholderTable& table, std::vector<std::wstring>& gameArgs) {
    const std::string legacy = neoForge.contains("minecraftArguments")
                                   ? neoForge.at("minecraftArguments").get<std::string>()
                                   : vanilla.value("minecraftArguments", std::string());
    ExpandPlaceholders(splitAtWhitespace(legacy), table, gameArgs);
}

bool hasClasspathOption(const std::vector<std::wstring>& jvmArgs) {
    for (const auto& argument : jvmArgs)
        if (argument == L"-cp" || argument == L"-classpath")
            return true;
    return false;
}

std::string mainClassOf(const json& neoForge, const json& vanilla) {
    if (neoForge.contains("mainClass"))
        return neoForge.at("mainClass").get<std::string>();
    return vanilla.value("mainClass", std::string());
}

bool readVersionJson(const MinecraftInstaller& installer, const std::string& id,
                     std::string& bytes) {
    return ReadFileBytes(installer.VersionJsonPath(id), bytes);
}

// NeoForge's libraries, then vanilla's not already named; the client jar only when NeoForge
// does not inherit from the vanilla version.
std::vector<fs::path> classpathEntries(const MinecraftInstaller& installer,
                                       const TargetPlatform& target, const json& neoForge,
                                       const json& vanilla) {
    std::vector<fs::path> entries;
    std::set<std::string> keys;
    CollectLibraryPaths(neoForge, installer.gameDir, target, entries, keys);
    CollectLibraryPaths(vanilla, installer.gameDir, target, entries, keys);
    if (!neoForge.contains("inheritsFrom")) {
        const fs::path id = platform::pathFromUtf8(installer.mcVersion);
        fs::path jar = id;
        jar += ".jar";
        entries.push_back(installer.gameDir / "versions" / id / jar);
    }
    return entries;
}

// Everything after both documents parsed; throws the JSON library's errors for members of
// unexpected types.
bool assemble(MinecraftInstaller& installer, const TargetPlatform& target,
              const LaunchOptions& options, const json& neoForge, const json& vanilla,
              LaunchProfile& profile) {
    const std::wstring classpath = joinClasspath(
        classpathEntries(installer, target, neoForge, vanilla), target.classpathSeparator);
    const PlaceholderTable table = placeholderTable(
        installer, target, options, assetIndexId(vanilla, installer.mcVersion), classpath);

    std::vector<std::string> jvmTemplates;
    std::vector<std::string> gameTemplates;
    collectTemplates(vanilla, target, jvmTemplates, gameTemplates);
    collectTemplates(neoForge, target, jvmTemplates, gameTemplates);

    profile.jvmArgs = {L"-Xms" + std::to_wstring(options.minRamMb) + L"M",
                       L"-Xmx" + std::to_wstring(options.maxRamMb) + L"M",
                       L"-Dfile.encoding=UTF-8"};
    profile.gameArgs.clear();
    ExpandPlaceholders(jvmTemplates, table, profile.jvmArgs);
    ExpandPlaceholders(gameTemplates, table, profile.gameArgs);
    if (profile.gameArgs.empty())
        appendLegacyGameArguments(neoForge, vanilla, table, profile.gameArgs);
    if (!hasClasspathOption(profile.jvmArgs)) {
        profile.jvmArgs.push_back(L"-cp");
        profile.jvmArgs.push_back(classpath);
    }
    profile.mainClass = wide(mainClassOf(neoForge, vanilla));
    if (profile.mainClass.empty())
        return fail(installer, L"В JSON версии нет mainClass.");
    return true;
}

} // namespace

bool BuildLaunchProfile(MinecraftInstaller& installer, const TargetPlatform& target,
                        const LaunchOptions& options, LaunchProfile& profile) {
    profile = LaunchProfile();
    std::string neoForgeBytes;
    if (!readVersionJson(installer, "neoforge-" + installer.neoForgeVersion, neoForgeBytes))
        return fail(installer, L"Не найден JSON NeoForge — сначала установи NeoForge.");
    std::string vanillaBytes;
    if (!readVersionJson(installer, installer.mcVersion, vanillaBytes))
        return fail(installer, L"Не найден JSON Minecraft " + wide(installer.mcVersion));

    json neoForge;
    json vanilla;
    try {
        neoForge = json::parse(neoForgeBytes);
        vanilla = json::parse(vanillaBytes);
    } catch (const json::exception& error) {
        return fail(installer, L"Битый JSON версии: " + wide(error.what()));
    }
    try {
        return assemble(installer, target, options, neoForge, vanilla, profile);
    } catch (const json::exception& error) {
        return fail(installer, L"Неожиданная структура JSON версии: " + wide(error.what()));
    }
}

void AppendAgentArgument(LaunchProfile& profile, const fs::path& agentJar,
                         const std::string& accountServerBaseUrl) {
    profile.jvmArgs.push_back(L"-javaagent:" + widePath(agentJar) + L"=" +
                              wide(accountServerBaseUrl));
}

void CollectLibraryPaths(const json& version, const fs::path& gameDir, const TargetPlatform& target,
                         std::vector<fs::path>& entries, std::set<std::string>& keys) {
    if (!version.is_object() || !version.contains("libraries"))
        return;
    for (const json& library : version.at("libraries").get_ref<const json::array_t&>()) {
        if (!IsLibraryAllowed(library, target))
            continue;
        const std::string name = library.value("name", std::string());
        if (name.empty() || !keys.insert(LibraryKey(name)).second)
            continue;
        // A path that would leave the libraries folder was never installed there.
        fs::path relative;
        if (!SafeRelativePath(artifactPath(library, name), relative))
            continue;
        entries.push_back(gameDir / "libraries" / relative);
    }
}

std::string LibraryKey(const std::string& name) {
    const std::size_t first = name.find(':');
    const std::size_t second = first == std::string::npos ? first : name.find(':', first + 1);
    if (second == std::string::npos)
        return name;
    std::string key = name.substr(0, second);
    const std::size_t third = name.find(':', second + 1);
    if (third != std::string::npos)
        key += ":" + name.substr(third + 1);
    return key;
}

std::string MavenPath(const std::string& name) {
    const std::vector<std::string> parts = split(name, ':');
    if (parts.size() < 3)
        return {};
    std::string group = parts[0];
    for (char& c : group)
        if (c == '.')
            c = '/';
    const std::string& artifact = parts[1];
    const std::string& version = parts[2];
    std::string path = group + "/" + artifact + "/" + version + "/" + artifact + "-" + version;
    if (parts.size() > 3)
        path += "-" + parts[3];
    return path + ".jar";
}

void CollectArguments(const json& list, const TargetPlatform& target,
                      std::vector<std::string>& templates) {
    if (!list.is_array())
        return;
    for (const json& element : list) {
        if (element.is_string()) {
            templates.push_back(element.get<std::string>());
            continue;
        }
        if (!element.is_object() || !IsLibraryAllowed(element, target) ||
            !element.contains("value"))
            continue;
        const json& value = element.at("value");
        if (value.is_string()) {
            templates.push_back(value.get<std::string>());
        } else if (value.is_array()) {
            for (const json& item : value)
                if (item.is_string())
                    templates.push_back(item.get<std::string>());
        }
    }
}

void ExpandPlaceholders(const std::vector<std::string>& templates, const PlaceholderTable& table,
                        std::vector<std::wstring>& arguments) {
    std::wstring expanded;
    for (const std::string& text : templates)
        if (expandTemplate(wide(text), table, expanded))
            arguments.push_back(expanded);
}

} // namespace qbk
