#include "tools/modrinth-standin/ModrinthCatalog.h"

#include "mods/ZipUtils.h"
#include "platform/Platform.h"
#include "tools/modrinth-standin/StandinIcons.h"

#include <algorithm>
#include <fstream>
#include <iostream>

namespace qbk::modrinthstandin {

namespace fs = std::filesystem;

namespace {

constexpr int kIconSize = 64;
const unsigned kColours[] = {0xdbb69b, 0x5ac8e0, 0x8a5ae0, 0xf0d040, 0x4ec97a, 0xe06a6a};

bool readArray(const fs::path& file, std::vector<nlohmann::json>& out, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    const nlohmann::json document = nlohmann::json::parse(in, nullptr, false);
    if (!document.is_array() || document.empty()) {
        error = "no JSON array in " + platform::pathToUtf8(file);
        return false;
    }
    out.assign(document.begin(), document.end());
    return true;
}

struct Jar {
    std::string name;
    fs::path path;
};

std::vector<Jar> jarsIn(const std::vector<fs::path>& dirs) {
    std::vector<Jar> jars;
    for (const fs::path& dir : dirs) {
        for (const platform::DirEntry& entry : platform::listDirectory(dir)) {
            const std::string name = platform::pathToUtf8(entry.name);
            if (!entry.isDirectory && name.size() > 4 && name.substr(name.size() - 4) == ".jar")
                jars.push_back({name, dir / entry.name});
        }
    }
    std::sort(jars.begin(), jars.end(), [](const Jar& a, const Jar& b) { return a.name < b.name; });
    return jars;
}

} // namespace

bool ModrinthCatalog::load(const fs::path& testdataDir, const std::string& baseUrl,
                           std::string& error) {
    if (!readArray(testdataDir / "projects-6.json", projects_, error) ||
        !readArray(testdataDir / "versions-lithium.json", versionTemplates_, error))
        return false;
    for (std::size_t i = 0; i < projects_.size(); ++i) {
        nlohmann::json& project = projects_[i];
        const std::string id = project.value("id", "");
        // Both formats the CDN serves, so the launcher's two decoders are exercised.
        const unsigned colour = kColours[i % std::size(kColours)];
        const bool webp = i % 2 == 1;
        const std::string file = id + (webp ? ".webp" : ".png");
        icons_[file] = webp ? Icon{StandinIcons::webp(colour, kIconSize), "image/webp"}
                            : Icon{StandinIcons::png(colour, kIconSize), "image/png"};
        project["icon_url"] = baseUrl + "/icons/" + file;
    }
    return true;
}

void ModrinthCatalog::addJars(const std::vector<fs::path>& dirs,
                              const std::set<std::string>& unknown) {
    std::size_t next = 0;
    for (const Jar& jar : jarsIn(dirs)) {
        if (unknown.count(jar.name))
            continue;
        const std::string sha1 = sha1FileHex(jar.path);
        if (sha1.empty()) {
            std::cerr << "qbk-modrinth-standin: cannot read " << platform::pathToUtf8(jar.path)
                      << "\n";
            continue;
        }
        const nlohmann::json& project = projects_[next % projects_.size()];
        nlohmann::json version = versionTemplates_[next % versionTemplates_.size()];
        ++next;
        version["id"] = sha1.substr(0, 8);
        version["project_id"] = project.value("id", "");
        nlohmann::json file =
            version["files"].empty() ? nlohmann::json::object() : version["files"][0];
        file["hashes"] = {{"sha1", sha1}};
        file["filename"] = jar.name;
        file["size"] = platform::fileSize(jar.path).value_or(0);
        file["primary"] = true;
        version["files"] = nlohmann::json::array({file});
        versionBySha1_[sha1] = std::move(version);
        std::cout << jar.name << " -> " << project.value("slug", "") << std::endl;
    }
}

std::optional<std::string> ModrinthCatalog::versionBySha1(const std::string& sha1) const {
    const auto found = versionBySha1_.find(sha1);
    if (found == versionBySha1_.end())
        return std::nullopt;
    return found->second.dump();
}

std::optional<std::string> ModrinthCatalog::project(const std::string& idOrSlug) const {
    for (const nlohmann::json& project : projects_) {
        if (project.value("id", "") == idOrSlug || project.value("slug", "") == idOrSlug)
            return project.dump();
    }
    return std::nullopt;
}

std::optional<ModrinthCatalog::Icon> ModrinthCatalog::icon(const std::string& fileName) const {
    const auto found = icons_.find(fileName);
    if (found == icons_.end())
        return std::nullopt;
    return found->second;
}

} // namespace qbk::modrinthstandin
