#include "launch/AuthlibInjector.h"

#include "launch/HttpClient.h"
#include "launch/Sha256Hex.h"
#include "platform/Platform.h"

#include <nlohmann/json.hpp>

namespace qbk {

namespace fs = std::filesystem;

namespace {

using nlohmann::json;

// The jar URL and the check it must pass, from the release metadata; false when the metadata
// names no jar or publishes a checksum that cannot be a SHA-256.
bool readRelease(const std::string& body, std::string& url, DownloadCheck& check,
                 std::string& error) {
    const json root = json::parse(body, nullptr, false);
    if (!root.is_object()) {
        error = "метаданные authlib-injector не являются JSON-объектом";
        return false;
    }
    const auto link = root.find("download_url");
    if (link != root.end() && !link->is_string()) {
        error = "download_url не строка";
        return false;
    }
    url = link == root.end() ? std::string() : link->get<std::string>();
    if (url.empty()) {
        error = "в метаданных authlib-injector нет download_url";
        return false;
    }
    const auto checksums = root.find("checksums");
    if (checksums == root.end() || !checksums->is_object() || !checksums->contains("sha256"))
        return true;
    const json& sha256 = (*checksums)["sha256"];
    if (!sha256.is_string() || !IsSha256Hex(sha256.get<std::string>())) {
        error = "checksums.sha256 не является SHA-256";
        return false;
    }
    check = DownloadCheck::sha256(sha256.get<std::string>());
    return true;
}

} // namespace

fs::path EnsureAuthlibInjector(const fs::path& launcherDir, const std::string& metadataBase,
                               std::string& error, TransferLimits limits) {
    const fs::path agent = launcherDir / "authlib-injector.jar";
    if (platform::pathExists(agent))
        return agent;

    HttpClient http(limits);
    std::string body;
    if (!http.DownloadToString(metadataBase + "/artifact/latest.json", body)) {
        error = "метаданные authlib-injector: " + http.LastError;
        return {};
    }
    std::string url;
    DownloadCheck check;
    if (!readRelease(body, url, check, error))
        return {};
    platform::createDirectories(launcherDir);
    // Streams into agent + ".part" and renames only a complete, matching jar into place: a file
    // at the agent path is trusted forever after.
    if (!http.DownloadVerified(url, agent, check)) {
        error = "authlib-injector: " + http.LastError;
        return {};
    }
    return agent;
}

} // namespace qbk
