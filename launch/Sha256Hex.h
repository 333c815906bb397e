#pragma once

#include <string_view>

namespace qbk {

// True for exactly 64 hex digits in either case: a SHA-256 that a download can be checked
// against.
inline bool IsSha256Hex(std::string_view text) {
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

} // namespace qbk
