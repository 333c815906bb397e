#pragma once

#include <filesystem>
#include <string>

namespace qbk {

// Reads a whole file. False when it cannot be opened or read, or holds no byte at all.
bool ReadFileBytes(const std::filesystem::path& path, std::string& bytes);

// Writes a whole file, creating its folder. The bytes go to a temporary file beside the
// target that is then renamed over it, so a crash never leaves a truncated file behind.
bool WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

} // namespace qbk
