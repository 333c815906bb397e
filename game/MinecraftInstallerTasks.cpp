// The installer's file layout and download lists, kept apart from the transfers so that the
// Windows core build, which has no HTTP client, can assemble launch profiles with it.
#include "game/LibraryRules.h"
#include "game/MinecraftInstaller.h"
#include "game/SafeRelativePath.h"
#include "platform/Platform.h"

namespace qbk {

namespace fs = std::filesystem;

MinecraftInstaller::MinecraftInstaller(fs::path gameDir, fs::path javaHome, Endpoints endpoints,
                                       TargetPlatform target)
    : gameDir(std::move(gameDir)), javaHome(std::move(javaHome)), endpoints_(std::move(endpoints)),
      target_(std::move(target)) {}

fs::path MinecraftInstaller::VersionJsonPath(const std::string& versionId) const {
    const fs::path id = platform::pathFromUtf8(versionId);
    fs::path file = id;
    file += ".json";
    return gameDir / "versions" / id / file;
}

bool MinecraftInstaller::SetError(const std::string& utf8Text) {
    lastError = platform::utf8ToWide(utf8Text);
    return false;
}

bool MinecraftInstaller::collectGameTasks(const nlohmann::json& versionJson,
                                          std::vector<DownloadTask>& tasks) {
    try {
        const auto& client = versionJson.at("downloads").at("client");
        fs::path jar = platform::pathFromUtf8(mcVersion);
        jar += ".jar";
        tasks.push_back({client.at("url").get<std::string>(),
                         gameDir / "versions" / platform::pathFromUtf8(mcVersion) / jar,
                         client.value("size", std::int64_t{-1}),
                         client.value("sha1", std::string())});
        for (const auto& library : versionJson.at("libraries")) {
            if (!IsLibraryAllowed(library, target_) || !library.contains("downloads") ||
                !library.at("downloads").contains("artifact"))
                continue;
            const auto& artifact = library.at("downloads").at("artifact");
            const std::string url = artifact.value("url", std::string());
            if (url.empty())
                continue;
            const std::string path = artifact.value("path", std::string());
            fs::path relative;
            if (!SafeRelativePath(path, relative))
                return SetError("Недопустимый путь библиотеки в JSON версии: \"" + path + "\"");
            tasks.push_back({url, gameDir / "libraries" / relative,
                             artifact.value("size", std::int64_t{-1}),
                             artifact.value("sha1", std::string())});
        }
    } catch (const nlohmann::json::exception& error) {
        return SetError(std::string("Неожиданная структура JSON версии: ") + error.what());
    }
    return true;
}

} // namespace qbk
