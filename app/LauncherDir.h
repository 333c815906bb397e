#pragma once

#include <filesystem>

namespace qbk {

// The folder of the running executable, below which the launcher keeps everything it writes.
// Asked anew on every call.
std::filesystem::path LauncherDir();

// The executable path cut before its last "\" or "/"; the whole text when it has neither.
std::filesystem::path directoryOfExecutable(const std::filesystem::path& executable);

} // namespace qbk
