#include "launch/AuthlibInjector.h"

#include "launch/AuthlibRelease.h"
#include "launch/HttpClient.h"
#include "platform/Platform.h"

namespace qbk {

namespace fs = std::filesystem;

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
    AuthlibRelease release;
    if (!AuthlibRelease::parse(body, release, error))
        return {};
    platform::createDirectories(launcherDir);
    if (limits.watch)
        limits.watch->beginDownloads(L"Скачивание authlib-injector", 0, 100);
    // Streams into agent + ".part" and renames only a complete, matching jar into place: a file
    // at the agent path is trusted forever after.
    if (!http.DownloadVerified(release.jarUrl, agent, release.check)) {
        error = "authlib-injector: " + http.LastError;
        return {};
    }
    return agent;
}

} // namespace qbk
