#include "accounts/ProofOfWork.h"

#include "platform/Digest.h"

#include <bit>

namespace qbk::pow {

std::optional<Sha256> sha256Digest(std::string_view bytes) {
    platform::Digest digest(platform::HashAlgorithm::Sha256);
    digest.update(bytes);
    Sha256 out{};
    std::size_t written = 0;
    if (!digest.finish(out.data(), out.size(), written) || written != out.size())
        return std::nullopt;
    return out;
}

int leadingZeroBits(const Sha256& digest) {
    int count = 0;
    for (const std::uint8_t byte : digest) {
        if (byte != 0)
            return count + std::countl_zero(byte);
        count += 8;
    }
    return count;
}

std::string candidatePrefix(std::string_view challengeUtf8) {
    std::string prefix(challengeUtf8);
    prefix.push_back(':');
    return prefix;
}

bool nonceMeetsDifficulty(std::string_view challengeUtf8, std::uint64_t nonce, int difficultyBits) {
    const auto digest = sha256Digest(candidatePrefix(challengeUtf8) + std::to_string(nonce));
    return digest && leadingZeroBits(*digest) >= difficultyBits;
}

} // namespace qbk::pow
