#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qbk {

// An archive member name reduced to plain components below the extraction folder. Both "/"
// and "\" separate components, since archives made on Windows use either; "." and empty
// components are dropped. Names that could reach outside the folder are refused: absolute
// paths, drive letters, ".." and any ":" (a drive or an alternate data stream on Windows).
class ArchiveEntryPath {
public:
    // Nullopt with a reason in error when the name would leave the folder.
    static std::optional<ArchiveEntryPath> parse(std::string_view utf8Name, std::string& error);

    // Where a symbolic link stored at this entry points, resolved against the entry's own
    // folder; nullopt with a reason when the target is absolute or climbs out of the folder.
    std::optional<ArchiveEntryPath> resolveLinkTarget(std::string_view utf8Target,
                                                      std::string& error) const;

    bool isRoot() const { return components_.empty(); }
    const std::vector<std::string>& components() const { return components_; }
    // The components joined with "/", lower-cased (ASCII) so that names differing only in
    // case compare equal, as they do on Windows.
    std::string foldedKey(std::size_t componentCount) const;
    std::string foldedKey() const { return foldedKey(components_.size()); }
    std::filesystem::path below(const std::filesystem::path& root) const;

private:
    std::vector<std::string> components_;
};

} // namespace qbk
