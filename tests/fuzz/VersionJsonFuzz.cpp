// Version JSONs as a mirror might send them, through the profile assembly's library, rule and
// argument handling: no classpath entry outside the libraries folder, no argument from nothing.
#include "game/LaunchProfile.h"
#include "platform/TargetPlatform.h"
#include "tests/fuzz/FuzzSupport.h"

#include <nlohmann/json.hpp>
#include <set>

namespace {

namespace fs = std::filesystem;

void collect(const nlohmann::json& version, const qbk::TargetPlatform& target) {
    std::vector<fs::path> entries;
    std::set<std::string> keys;
    std::vector<std::string> templates;
    // Unexpected types are refused by throwing; the caller reports it.
    try {
        qbk::CollectLibraryPaths(version, "/game", target, entries, keys);
    } catch (const nlohmann::json::exception&) {
    }
    try {
        for (const char* list : {"jvm", "game"})
            if (version.contains("arguments") && version["arguments"].is_object() &&
                version["arguments"].contains(list))
                qbk::CollectArguments(version["arguments"][list], target, templates);
    } catch (const nlohmann::json::exception&) {
    }
    for (const fs::path& entry : entries) {
        const fs::path relative = entry.lexically_relative("/game/libraries");
        qbk::fuzz::must(!relative.empty() && *relative.begin() != "..");
    }
    std::vector<std::wstring> arguments;
    qbk::ExpandPlaceholders(
        templates, {{L"${auth_player_name}", L"${version_name}"}, {L"${version_name}", L"1.21.1"}},
        arguments);
    qbk::fuzz::must(arguments.size() <= templates.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto version = nlohmann::json::parse(data, data + size, nullptr, false);
    if (version.is_discarded())
        return 0;
    collect(version, qbk::TargetPlatform::linuxX64());
    collect(version, qbk::TargetPlatform::windowsX64());
    return 0;
}
