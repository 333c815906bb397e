#pragma once

#include <string>

class QSettings;

namespace qbk {

// Base URLs of every outside host (scheme, host, optional port, no trailing slash), each
// overridable in the INI so that mirrors and the test world can stand in.
struct Endpoints {
    std::string mojangMeta;
    std::string mojangAssets;
    std::string neoforgeMaven;
    std::string adoptium;
    std::string authlibInjector;
    std::string modrinthApi;
    std::string modrinthSite;
    std::string gameServer;      // a bare host, written into the game's server list
    std::string accountServer;   // "auth/baseUrl"
    std::string launcherUpdates; // latest.json and its signature; the trusted key is fixed
    std::string caBundle;        // extra trusted certificates (PEM file); empty for none

    static Endpoints defaults();
    // Values from the INI, each blank one replaced by its default.
    static Endpoints read(const QSettings& ini);
};

// Trims white space and every trailing "/"; used for all base URLs read from the INI.
std::string normalizeBaseUrl(const std::string& value);

} // namespace qbk
