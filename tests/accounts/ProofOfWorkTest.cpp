// The registration challenge's solver, Qt-free: also built for Windows (windows_pow_test).

#include "accounts/ProofOfWork.h"

#include "accounts/CandidateHasher.h"
#include "accounts/NonceSearch.h"

#include <gtest/gtest.h>
#include <tuple>

namespace qbk::pow {
namespace {

std::uint64_t literalSmallestNonce(const std::string& challenge, int bits) {
    std::uint64_t nonce = 0;
    while (!nonceMeetsDifficulty(challenge, nonce, bits))
        ++nonce;
    return nonce;
}

NonceSearchResult search(const std::string& challenge, int bits, NonceSearchOptions options = {}) {
    const std::atomic<bool> stop{false};
    return findSmallestNonce(challenge, bits, stop, options);
}

TEST(ProofOfWork, WorkedValuesAndTheZeroBitRule) {
    for (const auto& [bits, nonce] : {std::pair{8, 181u}, {12, 4959u}, {16, 22421u}})
        EXPECT_EQ(search("abc", bits).nonce, nonce) << bits;
    EXPECT_EQ(search("задача", 10).nonce, literalSmallestNonce("задача", 10)); // UTF-8 bytes
    // The server's rule at the exact number of zero bits (abc:181 has 10): {nonce, bits, meets}.
    const std::tuple<int, int, bool> rules[] = {{181, 10, true},   {181, 11, false},
                                                {180, 8, false},   {0, 0, true},
                                                {181, 256, false}, {181, 257, false}};
    for (const auto& [nonce, bits, meets] : rules)
        EXPECT_EQ(nonceMeetsDifficulty("abc", nonce, bits), meets) << nonce << " at " << bits;
}

// The fast hasher agrees with a plain digest for every layout of the last block(s): prefix
// rests from 0 to 64 bytes and nonces of every length.
TEST(ProofOfWork, FastHasherMatchesPlainDigestAcrossBlockLayouts) {
    for (std::size_t length = 0; length <= 140; ++length) {
        const std::string prefix(length, static_cast<char>('a' + length % 26));
        CandidateHasher hasher(prefix);
        ASSERT_TRUE(hasher.isValid());
        for (const std::string d : {"0", "9", "10", "999", "123456789", "18446744073709551615"})
            ASSERT_EQ(hasher.leadingZeroBits(d), leadingZeroBits(*sha256Digest(prefix + d)))
                << "prefix length " << length << ", digits " << d;
    }
}

// Small difficulties cross the 9 -> 10 and 99 -> 100 digit steps; tiny blocks and many
// threads make the threads race for the smallest nonce.
TEST(ProofOfWork, ParallelSearchFindsTheSmallestNonceWithinItsBoundaries) {
    for (int round = 0; round < 40; ++round) {
        const std::string challenge = "race-" + std::to_string(round);
        const std::uint64_t expected = literalSmallestNonce(challenge, 1 + round % 8);
        for (const NonceSearchOptions options :
             {NonceSearchOptions{1, 1 << 14}, {4, 1}, {3, 7}, {8, 64}, {2, 0}})
            EXPECT_EQ(search(challenge, 1 + round % 8, options).nonce, expected)
                << challenge << ", " << options.threads << " threads";
    }
    EXPECT_EQ(search("abc", 0).nonce, 0u);
    const auto refused = search("abc", 257);
    EXPECT_FALSE(refused.nonce);
    EXPECT_NE(refused.error.find("сложностью 257 бит"), std::string::npos) << refused.error;
}

} // namespace
} // namespace qbk::pow
