// Manifest bodies as a hostile account server might send them.
#include "mods/ModManifest.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    std::vector<qbk::ModManifestEntry> entries;
    std::string error;
    const qbk::ManifestParseResult result = qbk::ParseModManifest(body, entries, error);
    if (result != qbk::ManifestParseResult::Ok) {
        // A refused manifest is refused whole, and says why.
        if (!entries.empty() || error.empty())
            std::abort();
        return 0;
    }
    for (const qbk::ModManifestEntry& entry : entries)
        if (entry.fileName.empty() || entry.url.empty())
            std::abort();
    return 0;
}
