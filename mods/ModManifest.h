#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qbk {

// One mod of the server's manifest, as the account server publishes it at /api/mods.
struct ModManifestEntry {
    std::string fileName; // UTF-8, a plain file name in the mods folder
    std::string url;
    std::uint64_t sizeBytes = 0;
    std::string sha256; // as published; only a 64-digit hex value is ever checked
};

enum class ManifestParseResult { Ok, NotJson, WrongShape };

// Parses a manifest body into entries in manifest order, duplicates kept; elements without a
// fileName or url are dropped. Anything but {"mods": [objects with string fileName, url and
// sha256 and a non-negative whole sizeBytes, 1048576.0 included]} is refused as a whole, with the
// reason in error.
ManifestParseResult ParseModManifest(std::string_view body, std::vector<ModManifestEntry>& entries,
                                     std::string& error);

} // namespace qbk
