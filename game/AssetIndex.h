#pragma once

#include "game/DownloadPool.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qbk {

// The downloads an asset index asks for: one task per distinct object hash, fetched from
// objectsUrl/xx/hash into objectsDir/xx/hash. Hashes under two characters are skipped, other
// ones that are no SHA-1 with a log line, since the hash becomes both a path and a URL. False
// with the reason when the bytes are no JSON object with an "objects" map of hash entries.
bool AssetTasksFromIndex(std::string_view indexBytes, const std::string& objectsUrl,
                         const std::filesystem::path& objectsDir, std::vector<DownloadTask>& tasks,
                         std::string& error);

} // namespace qbk
