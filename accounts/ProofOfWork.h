#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The digest rule of the registration challenge, shared by the launcher and the stand-in
// account server: SHA-256 of "<challenge>:<decimal nonce>" must begin with at least the
// requested number of zero bits.
namespace qbk::pow {

using Sha256 = std::array<std::uint8_t, 32>;

inline constexpr int kMaxDifficultyBits = 256;

// Empty when the hash provider cannot be opened; never a digest of zeros.
std::optional<Sha256> sha256Digest(std::string_view bytes);

int leadingZeroBits(const Sha256& digest);

// The challenge's UTF-8 bytes followed by ":".
std::string candidatePrefix(std::string_view challengeUtf8);

// The rule as written, one fresh digest per call; false when the provider fails.
bool nonceMeetsDifficulty(std::string_view challengeUtf8, std::uint64_t nonce, int difficultyBits);

} // namespace qbk::pow
