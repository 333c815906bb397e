// Version JSONs (vanilla and NeoForge) as a mirror might send them, through the profile
// assembly's library, rule and argument handling.
#include "game/LaunchProfile.h"
#include "platform/TargetPlatform.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void collect(const nlohmann::json& version, const qbk::TargetPlatform& target) {
    const fs::path gameDir = "/game";
    std::vector<fs::path> entries;
    std::set<std::string> keys;
    try {
        qbk::CollectLibraryPaths(version, gameDir, target, entries, keys);
    } catch (const nlohmann::json::exception&) {
        // Documented refusal of unexpected types; the caller reports it.
    }
    for (const fs::path& entry : entries) {
        const fs::path relative = entry.lexically_relative(gameDir / "libraries");
        if (relative.empty() || *relative.begin() == "..")
            std::abort(); // a classpath entry outside the libraries folder
    }

    std::vector<std::string> templates;
    try {
        if (version.is_object() && version.contains("arguments")) {
            const nlohmann::json& arguments = version.at("arguments");
            for (const char* list : {"jvm", "game"})
                if (arguments.is_object() && arguments.contains(list))
                    qbk::CollectArguments(arguments.at(list), target, templates);
        }
    } catch (const nlohmann::json::exception&) {
    }
    const qbk::PlaceholderTable table = {{L"${auth_player_name}", L"${version_name}"},
                                         {L"${version_name}", L"1.21.1"}};
    std::vector<std::wstring> arguments;
    qbk::ExpandPlaceholders(templates, table, arguments);
    if (arguments.size() > templates.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const nlohmann::json version =
        nlohmann::json::parse(data, data + size, nullptr, /*allow_exceptions=*/false);
    if (version.is_discarded())
        return 0;
    collect(version, qbk::TargetPlatform::linuxX64());
    collect(version, qbk::TargetPlatform::windowsX64());
    return 0;
}
