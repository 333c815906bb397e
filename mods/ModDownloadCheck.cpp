#include "mods/ModDownloadCheck.h"

#include "launch/HexDigest.h"

namespace qbk {

DownloadCheck ModDownloadCheck(const std::string& sha256, std::int64_t sizeBytes) {
    const std::int64_t size = sizeBytes > 0 ? sizeBytes : -1;
    if (IsSha256Hex(sha256))
        return DownloadCheck::sha256(sha256, size);
    DownloadCheck check;
    check.expectedSize = size;
    return check;
}

} // namespace qbk
