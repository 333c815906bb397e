#include "tests/support/Digests.h"

#include <algorithm>
#ifdef _WIN32
#include "platform/Digest.h"
#else
#include <openssl/evp.h>
#endif
namespace qbk::test {
namespace {
#ifdef _WIN32
// The Windows SDK has no OpenSSL: CNG, which windows_platform_test holds to known digests.
using Algorithm = platform::HashAlgorithm;
const Algorithm kSha1 = Algorithm::Sha1, kSha256 = Algorithm::Sha256;
std::string hexDigest(Algorithm type, const std::string& bytes) {
    platform::Digest digest(type);
    digest.update(bytes);
    return digest.finishHex();
}
#else
using Algorithm = const EVP_MD* (*)();
const Algorithm kSha1 = EVP_sha1, kSha256 = EVP_sha256;
std::string hexDigest(Algorithm type, const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, type(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i)
        hex += std::string{"0123456789abcdef"[digest[i] >> 4], "0123456789abcdef"[digest[i] & 15]};
    return hex;
}
#endif
} // namespace
std::string sha1Hex(const std::string& bytes) {
    return hexDigest(kSha1, bytes);
}
std::string sha256Hex(const std::string& bytes) {
    return hexDigest(kSha256, bytes);
}
std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}
} // namespace qbk::test
