#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace qbk::platform {

enum class HashAlgorithm { Sha1, Sha256 };

// Incremental hash over a byte stream: CNG on Windows, OpenSSL elsewhere. A provider that
// cannot be opened leaves the digest invalid, and an invalid digest never yields a value,
// so a broken provider is reported instead of passing for a hash of zeros.
class Digest {
public:
    explicit Digest(HashAlgorithm algorithm);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;
    Digest(Digest&&) noexcept;
    Digest& operator=(Digest&&) noexcept;

    bool isValid() const;
    void update(const void* data, std::size_t size);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }

    // Ends the stream; empty when the digest is invalid. The object then starts afresh.
    std::string finishHex();
    // Raw digest bytes (20 or 32 used); false when invalid.
    bool finish(std::uint8_t* out, std::size_t capacity, std::size_t& written);

    static std::size_t digestSize(HashAlgorithm algorithm);

private:
    struct State;
    std::unique_ptr<State> state_;
};

std::string toHex(const std::uint8_t* bytes, std::size_t size);

// Hash of a whole file; empty when it cannot be opened or a read fails part-way.
std::string hashFileHex(const std::filesystem::path& path, HashAlgorithm algorithm);

} // namespace qbk::platform
