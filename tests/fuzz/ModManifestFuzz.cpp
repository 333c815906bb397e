// Manifest bodies as a hostile account server might send them: a refused manifest is refused
// whole, and says why; an accepted one names a file and a URL for each mod.
#include "mods/ModManifest.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<qbk::ModManifestEntry> entries;
    std::string error;
    if (qbk::ParseModManifest(std::string(qbk::fuzz::text(data, size)), entries, error) !=
        qbk::ManifestParseResult::Ok)
        qbk::fuzz::must(entries.empty() && !error.empty());
    for (const qbk::ModManifestEntry& entry : entries)
        qbk::fuzz::must(!entry.fileName.empty() && !entry.url.empty());
    return 0;
}
