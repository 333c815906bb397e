// Manifest bodies as a hostile account server might send them: a refused manifest is refused
// whole, and says why; an accepted one names a file and a URL for each mod.
#include "mods/ModManifest.h"
#include "tests/fuzz/FuzzSupport.h"

QBK_FUZZ(input) {
    std::vector<qbk::ModManifestEntry> entries;
    std::string error;
    if (qbk::ParseModManifest(std::string(input), entries, error) != qbk::ManifestParseResult::Ok)
        must(entries.empty() && !error.empty());
    for (const qbk::ModManifestEntry& entry : entries)
        must(!entry.fileName.empty() && !entry.url.empty());
}
