#pragma once

#include <string>
#include <string_view>

// Build constants and the project's own domain, in one place: the site link, the default
// account server, the default game server and the Modrinth user agent all derive from it.
namespace qbk::project {

inline constexpr std::string_view kDomain = "quellbrook.net";
inline constexpr std::string_view kMinecraftVersion = "1.21.1";
inline constexpr std::string_view kNeoForgeVersion = "21.1.230";
inline constexpr std::string_view kLauncherVersion = "1.0.0";
// The version this executable was built as: kLauncherVersion unless the build gave another
// (the stand-in world's next release is the same build with a higher number).
std::string_view launcherVersion();
inline constexpr std::string_view kShortVersion = "1.0";
inline constexpr std::string_view kUserAgent = "Quellbrook-Launcher/1.0";

inline std::string siteUrl() {
    return "https://" + std::string(kDomain);
}
inline std::string defaultAccountServer() {
    return "https://auth." + std::string(kDomain) + ":8448";
}
inline std::string defaultGameServer() {
    return "play." + std::string(kDomain);
}
// Where latest.json and latest.json.sig of the launcher's releases live.
inline std::string defaultLauncherUpdates() {
    return siteUrl() + "/launcher";
}
inline std::string modrinthUserAgent() {
    return std::string(kUserAgent) + " (" + std::string(kDomain) + ")";
}

} // namespace qbk::project
