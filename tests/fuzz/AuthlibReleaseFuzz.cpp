// authlib-injector release metadata: an accepted release names a jar, and any checksum it
// carries is a SHA-256; a refused one is refused whole, and says why.
#include "launch/AuthlibRelease.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qbk::AuthlibRelease release;
    std::string error;
    const bool ok = qbk::AuthlibRelease::parse(qbk::fuzz::text(data, size), release, error);
    qbk::fuzz::must(ok ? !release.jarUrl.empty() : release.jarUrl.empty() && !error.empty());
    const std::string& hex = release.check.expectedHex;
    qbk::fuzz::must(
        !ok || hex.empty() ||
        (hex.size() == 64 && release.check.algorithm == qbk::platform::HashAlgorithm::Sha256));
    return 0;
}
