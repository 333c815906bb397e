// Version JSONs as a mirror might send them, through the profile assembly's library, rule and
// argument handling: no classpath entry outside the libraries folder, no argument from nothing.
#include "game/LaunchProfile.h"
#include "platform/TargetPlatform.h"
#include "tests/fuzz/FuzzSupport.h"

#include <nlohmann/json.hpp>
#include <set>

QBK_FUZZ(input) {
    const auto version = nlohmann::json::parse(input, nullptr, false);
    if (version.is_discarded())
        return;
    for (const auto& target :
         {qbk::TargetPlatform::linuxX64(), qbk::TargetPlatform::windowsX64()}) {
        std::vector<std::filesystem::path> entries;
        std::set<std::string> keys;
        std::vector<std::string> templates;
        std::vector<std::wstring> arguments;
        try { // unexpected types are refused by throwing; the launcher reports it
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
        for (const std::filesystem::path& entry : entries) {
            const auto relative = entry.lexically_relative("/game/libraries");
            must(!relative.empty() && *relative.begin() != "..");
        }
        const qbk::PlaceholderTable table = {{L"${auth_player_name}", L"${version_name}"},
                                             {L"${version_name}", L"1.21.1"}};
        qbk::ExpandPlaceholders(templates, table, arguments);
        must(arguments.size() <= templates.size());
    }
}
