#pragma once

#include <filesystem>

namespace qbk {

// Installs every ".jar" of a personal zip directly into modsDir, folders inside the archive
// dropped. Names are reduced to their last component, "._" resource forks are skipped and a
// name that is no plain file name on every target is left out. Returns the number of distinct
// files installed, or -1 when the archive cannot be opened (nothing is written then).
int importModArchive(const std::filesystem::path& archive, const std::filesystem::path& modsDir);

} // namespace qbk
