#include "mods/ModFileName.h"

#include "platform/Platform.h"

#include <array>
#include <cctype>
#include <string>

namespace qbk {

namespace {

bool hasForbiddenCharacter(std::string_view name) {
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return true;
        if (std::string_view("/\\:<>\"|?*").find(c) != std::string_view::npos)
            return true;
    }
    return false;
}

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Windows maps "nul.jar" and "Com1 .txt" to devices: the part before the first dot counts,
// with trailing spaces ignored.
bool isReservedDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    const std::string upper = upperAscii(stem);
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (const auto reserved : kPlain)
        if (upper == reserved)
            return true;
    if (upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0))
        return upper[3] >= '1' && upper[3] <= '9';
    return false;
}

} // namespace

bool IsSafeModFileName(std::string_view utf8) {
    // Separators are refused below, so ".." can only be the whole name; "x-1.0..jar" is fine.
    if (utf8.empty() || utf8 == "." || utf8 == "..")
        return false;
    if (hasForbiddenCharacter(utf8))
        return false;
    if (utf8.back() == '.' || utf8.back() == ' ')
        return false;
    if (platform::utf8ToWide(utf8).empty()) // not valid UTF-8
        return false;
    return !isReservedDeviceName(utf8);
}

} // namespace qbk
