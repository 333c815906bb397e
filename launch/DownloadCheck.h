#pragma once

#include "platform/Digest.h"

#include <cstdint>
#include <string>

namespace qbk {

// What a downloaded file must match before it may replace its target.
struct DownloadCheck {
    std::int64_t expectedSize = -1; // -1: size unknown, not checked
    platform::HashAlgorithm algorithm = platform::HashAlgorithm::Sha1;
    std::string expectedHex; // empty: no digest check; compared case-insensitively

    static DownloadCheck sha1(std::string hex, std::int64_t size = -1) {
        return {size, platform::HashAlgorithm::Sha1, std::move(hex)};
    }
    static DownloadCheck sha256(std::string hex, std::int64_t size = -1) {
        return {size, platform::HashAlgorithm::Sha256, std::move(hex)};
    }
};

} // namespace qbk
