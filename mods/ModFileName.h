#pragma once

#include <string_view>

namespace qbk {

// True when a mod's file name (UTF-8) names one file directly inside the mods folder on every
// target: not empty, no path separator, drive or ":", not "." and no "..", no control or
// Windows-forbidden character, no trailing dot or space, and not a reserved Windows device
// name (CON, PRN, AUX, NUL, COM1-9, LPT1-9), with or without an extension, in any case.
bool IsSafeModFileName(std::string_view utf8);

} // namespace qbk
