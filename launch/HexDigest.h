#pragma once

#include <cstddef>
#include <string_view>

namespace qbk {

// True for exactly `digits` hex digits in either case.
inline bool IsHexDigest(std::string_view text, std::size_t digits) {
    if (text.size() != digits)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

// A SHA-1 as mirrors name objects by it.
inline bool IsSha1Hex(std::string_view text) {
    return IsHexDigest(text, 40);
}

// A SHA-256 that a download can be checked against.
inline bool IsSha256Hex(std::string_view text) {
    return IsHexDigest(text, 64);
}

} // namespace qbk
