#pragma once

#include <filesystem>
#include <string_view>

namespace qbk {

// A "/"- or "\"-separated path from a download document that must stay below its folder.
// Refuses empty, absolute and drive paths, "..", colons and NUL bytes; on success gives the
// path with the platform's separators.
bool SafeRelativePath(std::string_view utf8, std::filesystem::path& relative);

} // namespace qbk
