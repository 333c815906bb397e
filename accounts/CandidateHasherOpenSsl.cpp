// SHA256_Transform is deprecated in OpenSSL 3 but is the only public call that compresses
// one block from a saved state, which is what lets an attempt cost a single compression.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "accounts/CandidateHasher.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <openssl/sha.h>
#include <string>

namespace qbk::pow {

namespace {
constexpr std::size_t kBlock = SHA256_CBLOCK;
}

struct CandidateHasher::State {
    SHA256_CTX prefixState{};                     // after the prefix's whole blocks
    std::array<unsigned char, 2 * kBlock> tail{}; // prefix rest, digits, padding, length
    std::size_t tailPrefixBytes = 0;
    std::uint64_t prefixBytes = 0;
    std::size_t laidOutDigits = 0; // digit count the padding is placed for; 0 = none yet
    std::size_t tailBlocks = 1;
    bool valid = false;

    void layOut(std::size_t digitCount) {
        const std::size_t used = tailPrefixBytes + digitCount;
        std::memset(tail.data() + used, 0, tail.size() - used);
        tail[used] = 0x80;
        tailBlocks = used + 1 + 8 <= kBlock ? 1 : 2;
        std::uint64_t bits = (prefixBytes + digitCount) * 8;
        for (std::size_t i = 0; i < 8; ++i, bits >>= 8)
            tail[tailBlocks * kBlock - 1 - i] = static_cast<unsigned char>(bits);
        laidOutDigits = digitCount;
    }
};

CandidateHasher::CandidateHasher(std::string_view prefix) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.valid = SHA256_Init(&s.prefixState) == 1;
    const std::size_t whole = prefix.size() / kBlock * kBlock;
    for (std::size_t at = 0; at < whole; at += kBlock)
        SHA256_Transform(&s.prefixState,
                         reinterpret_cast<const unsigned char*>(prefix.data() + at));
    s.tailPrefixBytes = prefix.size() - whole;
    s.prefixBytes = prefix.size();
    std::memcpy(s.tail.data(), prefix.data() + whole, s.tailPrefixBytes);
}

CandidateHasher::~CandidateHasher() = default;

bool CandidateHasher::isValid() const {
    return state_->valid;
}

int CandidateHasher::leadingZeroBits(std::string_view digits) {
    State& s = *state_;
    // 20 digits hold any 64-bit nonce, and prefix rest + 20 + 9 always fits two blocks.
    if (!s.valid || digits.empty() || digits.size() > 20)
        return -1;
    if (digits.size() != s.laidOutDigits)
        s.layOut(digits.size());
    std::memcpy(s.tail.data() + s.tailPrefixBytes, digits.data(), digits.size());
    SHA256_CTX ctx = s.prefixState;
    SHA256_Transform(&ctx, s.tail.data());
    if (s.tailBlocks == 2)
        SHA256_Transform(&ctx, s.tail.data() + kBlock);
    // The digest is the state words in big-endian order, so bits count from word 0 down.
    int count = 0;
    for (const SHA_LONG word : ctx.h) {
        const auto w = static_cast<std::uint32_t>(word);
        if (w != 0)
            return count + std::countl_zero(w);
        count += 32;
    }
    return count;
}

} // namespace qbk::pow
