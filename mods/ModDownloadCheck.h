#pragma once

#include "launch/DownloadCheck.h"

#include <cstdint>
#include <string>

namespace qbk {

// What a downloaded mod must match before it replaces the installed file: the manifest's size
// when it gives one (above 0) and its SHA-256 when the field holds one; a sha256 field that
// is no SHA-256 is not checked (the callers say so in their logs).
DownloadCheck ModDownloadCheck(const std::string& sha256, std::int64_t sizeBytes);

} // namespace qbk
