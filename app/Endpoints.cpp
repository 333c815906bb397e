#include "app/Endpoints.h"

#include "app/ProjectInfo.h"

#include <QSettings>

namespace qbk {

namespace {

struct Key {
    const char* name;
    std::string Endpoints::*member;
    bool isUrl;
};

// The one table of keys; the defaults live in Endpoints::defaults().
const Key kKeys[] = {
    {"endpoints/mojangMeta", &Endpoints::mojangMeta, true},
    {"endpoints/mojangAssets", &Endpoints::mojangAssets, true},
    {"endpoints/neoforgeMaven", &Endpoints::neoforgeMaven, true},
    {"endpoints/adoptium", &Endpoints::adoptium, true},
    {"endpoints/authlibInjector", &Endpoints::authlibInjector, true},
    {"endpoints/modrinthApi", &Endpoints::modrinthApi, true},
    {"endpoints/modrinthSite", &Endpoints::modrinthSite, true},
    {"endpoints/gameServer", &Endpoints::gameServer, false},
    {"auth/baseUrl", &Endpoints::accountServer, true},
    {"endpoints/launcherUpdates", &Endpoints::launcherUpdates, true},
    {"network/caBundle", &Endpoints::caBundle, false},
};

std::string trimmed(const std::string& value) {
    const auto first = value.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = value.find_last_not_of(" \t\r\n");
    return value.substr(first, last - first + 1);
}

} // namespace

std::string normalizeBaseUrl(const std::string& value) {
    std::string url = trimmed(value);
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}

Endpoints Endpoints::defaults() {
    Endpoints e;
    e.mojangMeta = "https://piston-meta.mojang.com";
    e.mojangAssets = "https://resources.download.minecraft.net";
    e.neoforgeMaven = "https://maven.neoforged.net";
    e.adoptium = "https://api.adoptium.net";
    e.authlibInjector = "https://authlib-injector.yushi.moe";
    e.modrinthApi = "https://api.modrinth.com";
    e.modrinthSite = "https://modrinth.com";
    e.gameServer = project::defaultGameServer();
    e.accountServer = project::defaultAccountServer();
    e.launcherUpdates = project::defaultLauncherUpdates();
    return e;
}

Endpoints Endpoints::read(const QSettings& ini) {
    Endpoints e = defaults();
    for (const Key& key : kKeys) {
        const std::string raw = ini.value(QString::fromLatin1(key.name)).toString().toStdString();
        const std::string value = key.isUrl ? normalizeBaseUrl(raw) : trimmed(raw);
        if (!value.empty())
            e.*key.member = value;
    }
    return e;
}

} // namespace qbk
