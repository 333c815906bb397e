// authlib-injector release metadata: an accepted release names a jar, and any checksum it
// carries is a SHA-256; a refused one is refused whole, and says why.
#include "launch/AuthlibRelease.h"
#include "tests/fuzz/FuzzSupport.h"

QBK_FUZZ(input) {
    qbk::AuthlibRelease release;
    std::string error;
    const bool ok = qbk::AuthlibRelease::parse(input, release, error);
    const std::string& hex = release.check.expectedHex;
    must(ok ? !release.jarUrl.empty() : release.jarUrl.empty() && !error.empty());
    must(!ok || hex.empty() ||
         (hex.size() == 64 && release.check.algorithm == qbk::platform::HashAlgorithm::Sha256));
}
