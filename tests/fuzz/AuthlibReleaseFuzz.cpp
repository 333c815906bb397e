// authlib-injector release metadata: an accepted release names a jar, and any checksum it
// carries is a SHA-256.
#include "launch/AuthlibRelease.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    qbk::AuthlibRelease release;
    std::string error;
    if (!qbk::AuthlibRelease::parse(body, release, error)) {
        if (!release.jarUrl.empty() || error.empty())
            std::abort();
        return 0;
    }
    if (release.jarUrl.empty())
        std::abort();
    const std::string& hex = release.check.expectedHex;
    if (!hex.empty() &&
        (release.check.algorithm != qbk::platform::HashAlgorithm::Sha256 || hex.size() != 64))
        std::abort();
    return 0;
}
