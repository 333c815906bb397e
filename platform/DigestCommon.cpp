#include "platform/Digest.h"
#include "platform/Platform.h"

#include <array>
#include <cstdio>
#include <vector>

namespace qbk::platform {

std::size_t Digest::digestSize(HashAlgorithm algorithm) {
    return algorithm == HashAlgorithm::Sha1 ? 20 : 32;
}

std::string Digest::finishHex() {
    std::array<std::uint8_t, 64> bytes{};
    std::size_t written = 0;
    if (!finish(bytes.data(), bytes.size(), written))
        return {};
    return toHex(bytes.data(), written);
}

std::string toHex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex(size * 2, '0');
    for (std::size_t i = 0; i < size; ++i) {
        hex[2 * i] = digits[bytes[i] >> 4];
        hex[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return hex;
}

std::string hashFileHex(const std::filesystem::path& path, HashAlgorithm algorithm) {
    std::FILE* file = openFile(path, "rb");
    if (!file)
        return {};
    Digest digest(algorithm);
    std::vector<char> buffer(1 << 16);
    bool readFailed = false;
    for (;;) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
        digest.update(buffer.data(), n);
        if (n < buffer.size()) {
            readFailed = std::ferror(file) != 0;
            break;
        }
    }
    std::fclose(file);
    // A read that fails part-way must not pass for the hash of a shorter file.
    return readFailed ? std::string() : digest.finishHex();
}

} // namespace qbk::platform
