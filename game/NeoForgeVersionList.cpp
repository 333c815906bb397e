#include "game/NeoForgeVersionList.h"

#include <nlohmann/json.hpp>

namespace qbk {

namespace {

bool isPlainVersion(const std::string& version) {
    if (version.empty() || version.find("..") != std::string::npos)
        return false;
    for (const char c : version)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              c == '.' || c == '-' || c == '_' || c == '+'))
            return false;
    return true;
}

bool isReleaseOf(const std::string& version, const std::string& prefix) {
    return version.rfind(prefix, 0) == 0 &&
           (version.size() < 4 || version.find("beta") == std::string::npos) &&
           isPlainVersion(version);
}

} // namespace

bool ParseNeoForgeVersionList(std::string_view body, std::vector<std::string>& versions,
                              std::string& error) {
    const nlohmann::json root = nlohmann::json::parse(body, nullptr, false);
    const auto listed = root.is_object() ? root.find("versions") : root.end();
    if (!root.is_object() || listed == root.end() || !listed->is_array()) {
        error = "нет массива versions";
        return false;
    }
    std::vector<std::string> parsed;
    for (const auto& element : *listed) {
        if (!element.is_string()) {
            error = "элемент versions не строка";
            return false;
        }
        parsed.push_back(element.get<std::string>());
    }
    versions = std::move(parsed);
    return true;
}

std::string LatestNeoForgeRelease(const std::vector<std::string>& versions,
                                  const std::string& branchPrefix) {
    std::string pick;
    for (const std::string& listed : versions)
        if (isReleaseOf(listed, branchPrefix))
            pick = listed;
    return pick;
}

} // namespace qbk
