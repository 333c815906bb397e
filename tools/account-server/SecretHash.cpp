#include "SecretHash.h"

#include "platform/Digest.h"

#include <atomic>
#include <charconv>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <stdexcept>
#include <vector>

namespace qbk::accountserver {

namespace {

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;
constexpr std::string_view kScheme = "pbkdf2-sha256";

std::atomic<long> derivations{0};

std::vector<unsigned char> randomBytes(std::size_t count) {
    std::vector<unsigned char> bytes(count);
    if (RAND_bytes(bytes.data(), static_cast<int>(count)) != 1)
        throw std::runtime_error("no random bytes from OpenSSL");
    return bytes;
}

std::vector<unsigned char> derive(std::string_view secret, const std::vector<unsigned char>& salt,
                                  int iterations) {
    std::vector<unsigned char> out(kHashBytes);
    ++derivations;
    if (PKCS5_PBKDF2_HMAC(secret.data(), static_cast<int>(secret.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(out.size()), out.data()) != 1)
        throw std::runtime_error("PBKDF2 failed");
    return out;
}

std::vector<unsigned char> fromHex(std::string_view hex) {
    std::vector<unsigned char> bytes;
    if (hex.size() % 2)
        return {};
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + i + 2)
            return {};
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return bytes;
}

std::string hex(const std::vector<unsigned char>& bytes) {
    return platform::toHex(bytes.data(), bytes.size());
}

} // namespace

std::string hashSecret(std::string_view secret, int iterations) {
    const auto salt = randomBytes(kSaltBytes);
    return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + hex(salt) + "$" +
           hex(derive(secret, salt, iterations));
}

bool verifySecret(std::string_view secret, std::string_view stored) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto end = stored.find('$', start);
        parts.push_back(stored.substr(start, end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    int iterations = 0;
    if (parts.size() != 4 || parts[0] != kScheme ||
        std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), iterations).ec !=
            std::errc() ||
        iterations <= 0)
        return false;
    const auto salt = fromHex(parts[2]);
    const auto expected = fromHex(parts[3]);
    if (salt.empty() || expected.size() != kHashBytes)
        return false;
    const auto actual = derive(secret, salt, iterations);
    return CRYPTO_memcmp(actual.data(), expected.data(), kHashBytes) == 0;
}

long secretDerivations() {
    return derivations;
}

std::string randomHex(std::size_t bytes) {
    return hex(randomBytes(bytes));
}

} // namespace qbk::accountserver
