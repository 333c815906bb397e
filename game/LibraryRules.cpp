#include "game/LibraryRules.h"

namespace qbk {

namespace {

bool osMatches(const nlohmann::json& os, const TargetPlatform& target) {
    bool applies = true;
    if (os.contains("name"))
        applies = os.at("name").get<std::string>() == target.osName;
    if (os.contains("arch") && os.at("arch").get<std::string>() != target.arch)
        applies = false;
    return applies;
}

bool ruleApplies(const nlohmann::json& rule, const TargetPlatform& target) {
    if (!rule.is_object())
        return true;
    const auto os = rule.find("os");
    if (os == rule.end() || !os->is_object())
        return true;
    return osMatches(*os, target);
}

} // namespace

bool IsLibraryAllowed(const nlohmann::json& entry, const TargetPlatform& target) {
    if (!entry.is_object() || !entry.contains("rules"))
        return true;
    bool allowed = false;
    for (const auto& rule : entry.at("rules")) {
        const bool applies = ruleApplies(rule, target);
        if (rule.is_object() && rule.contains("features"))
            continue;
        if (applies)
            allowed = rule.value("action", std::string("allow")) == "allow";
    }
    return allowed;
}

} // namespace qbk
