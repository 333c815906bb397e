#pragma once
#include <string>
namespace qbk::test {
// Lower-case hex digests of bytes, computed by OpenSSL apart from the product's own Digest;
// on Windows, where the SDK has no OpenSSL, by that Digest (CNG).
std::string sha1Hex(const std::string& bytes);
std::string sha256Hex(const std::string& bytes);
// The text with its letters in upper case, as a server may spell a hex digest.
std::string upperCase(std::string text);
} // namespace qbk::test
