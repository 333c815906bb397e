#include "tests/support/Digests.h"

#include <algorithm>
#include <openssl/evp.h>
namespace qbk::test {
namespace {
std::string hexDigest(const EVP_MD* type, const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, type, nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i)
        hex += std::string{"0123456789abcdef"[digest[i] >> 4], "0123456789abcdef"[digest[i] & 15]};
    return hex;
}
} // namespace
std::string sha1Hex(const std::string& bytes) {
    return hexDigest(EVP_sha1(), bytes);
}
std::string sha256Hex(const std::string& bytes) {
    return hexDigest(EVP_sha256(), bytes);
}
std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}
} // namespace qbk::test
