#include "launch/AuthlibRelease.h"

#include "launch/HexDigest.h"

#include <nlohmann/json.hpp>

namespace qbk {

bool AuthlibRelease::parse(std::string_view metadata, AuthlibRelease& release, std::string& error) {
    using nlohmann::json;
    const json root = json::parse(metadata, nullptr, false);
    if (!root.is_object()) {
        error = "метаданные authlib-injector не являются JSON-объектом";
        return false;
    }
    const auto link = root.find("download_url");
    if (link != root.end() && !link->is_string()) {
        error = "download_url не строка";
        return false;
    }
    AuthlibRelease parsed;
    parsed.jarUrl = link == root.end() ? std::string() : link->get<std::string>();
    if (parsed.jarUrl.empty()) {
        error = "в метаданных authlib-injector нет download_url";
        return false;
    }
    const auto checksums = root.find("checksums");
    if (checksums != root.end() && checksums->is_object() && checksums->contains("sha256")) {
        const json& sha256 = (*checksums)["sha256"];
        if (!sha256.is_string() || !IsSha256Hex(sha256.get<std::string>())) {
            error = "checksums.sha256 не является SHA-256";
            return false;
        }
        parsed.check = DownloadCheck::sha256(sha256.get<std::string>());
    }
    release = std::move(parsed);
    return true;
}

} // namespace qbk
