#pragma once

#include <cstdio>
#include <string>
#include <vector>
#include <zlib.h>

namespace qbk {

// Inflates a gzip file block by block and checks every member's CRC-32 and length, which
// libarchive's own gzip reader skips: a damaged runtime archive must fail, not unpack.
class GzipStream {
public:
    // Takes ownership of file, an open binary stream.
    explicit GzipStream(std::FILE* file);
    ~GzipStream();
    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    // Points block at the next inflated bytes and returns their count; 0 after the last
    // member was verified; -1 on damaged, truncated or unreadable input (see error()).
    long long read(const void** block);
    // Reads on to the end, so that the last member's checksum is checked even when the
    // consumer stopped early (a tar reader stops at its end marker); false on damage.
    bool drain();
    const std::string& error() const { return error_; }

private:
    bool refill();
    long long fail(const std::string& text);

    std::FILE* file_;
    z_stream zs_{};
    bool initialised_ = false;
    bool finished_ = false;
    std::vector<unsigned char> in_;
    std::vector<unsigned char> out_;
    std::string error_;
};

} // namespace qbk
