#pragma once

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qbk::modrinthstandin {

// The replies the stand-in gives: the real project objects, and one real version object per
// stand-in jar with that jar's name, size and SHA-1 and the project it was mapped onto.
class ModrinthCatalog {
public:
    struct Icon {
        std::string body;
        std::string contentType;
    };

    // Reads the real replies; icon URLs are rewritten to point at baseUrl's "/icons/".
    bool load(const std::filesystem::path& testdataDir, const std::string& baseUrl,
              std::string& error);
    // Maps the jars of the folders (by name, in order) onto the projects in turn; the names in
    // unknown stay unknown, as files Modrinth never saw.
    void addJars(const std::vector<std::filesystem::path>& dirs,
                 const std::set<std::string>& unknown);

    std::optional<std::string> versionBySha1(const std::string& sha1) const;
    std::optional<std::string> project(const std::string& idOrSlug) const;
    std::optional<Icon> icon(const std::string& fileName) const;
    std::size_t knownJars() const { return versionBySha1_.size(); }

private:
    std::vector<nlohmann::json> projects_;
    std::vector<nlohmann::json> versionTemplates_;
    std::map<std::string, nlohmann::json> versionBySha1_;
    std::map<std::string, Icon> icons_;
};

} // namespace qbk::modrinthstandin
