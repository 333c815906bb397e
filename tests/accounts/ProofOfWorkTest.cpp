#include "accounts/ProofOfWork.h"

#include "accounts/CandidateHasher.h"
#include "accounts/NonceSearch.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

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

TEST(ProofOfWork, WorkedValuesForAbc) {
    const auto digest = sha256Digest("abc:181");
    ASSERT_TRUE(digest);
    EXPECT_EQ((*digest)[0], 0x00);
    EXPECT_EQ((*digest)[1], 0x36);
    EXPECT_EQ((*digest)[2], 0x13);
    EXPECT_EQ((*digest)[3], 0xd5);
    EXPECT_EQ(leadingZeroBits(*digest), 10);

    EXPECT_EQ(search("abc", 8).nonce, 181u);
    EXPECT_EQ(search("abc", 12).nonce, 4959u);
    EXPECT_EQ(search("abc", 16).nonce, 22421u);
    EXPECT_EQ(literalSmallestNonce("abc", 16), 22421u);
}

TEST(ProofOfWork, LeadingZeroBitsWalksBytesFromTheTop) {
    Sha256 digest{};
    EXPECT_EQ(leadingZeroBits(digest), 256);
    digest[2] = 0x01;
    EXPECT_EQ(leadingZeroBits(digest), 23);
    digest[0] = 0x80;
    EXPECT_EQ(leadingZeroBits(digest), 0);
    digest[0] = 0x01;
    EXPECT_EQ(leadingZeroBits(digest), 7);
}

TEST(ProofOfWork, CandidateIsPrefixColonAndPlainDigits) {
    EXPECT_EQ(candidatePrefix("abc"), "abc:");
    EXPECT_EQ(sha256Digest("abc:10"), sha256Digest(candidatePrefix("abc") + "10"));
    // Non-ASCII challenges are hashed as their UTF-8 bytes.
    const std::string cyrillic = "задача";
    EXPECT_EQ(search(cyrillic, 10).nonce, literalSmallestNonce(cyrillic, 10));
}

// The fast hasher must agree with a plain digest for every layout of the last block(s):
// prefix rests from 0 to 64 bytes and nonces of every length.
TEST(ProofOfWork, FastHasherMatchesPlainDigestAcrossBlockLayouts) {
    const std::string digits[] = {"0", "9", "10", "999", "123456789", "18446744073709551615"};
    for (std::size_t length = 0; length <= 140; ++length) {
        const std::string prefix(length, static_cast<char>('a' + length % 26));
        CandidateHasher hasher(prefix);
        ASSERT_TRUE(hasher.isValid());
        for (const std::string& d : digits) {
            const auto expected = sha256Digest(prefix + d);
            ASSERT_TRUE(expected);
            ASSERT_EQ(hasher.leadingZeroBits(d), leadingZeroBits(*expected))
                << "prefix length " << length << ", digits " << d;
        }
    }
}

// Small difficulties cross the 9 -> 10 and 99 -> 100 digit steps; tiny blocks and many
// threads make the threads race for the smallest nonce.
TEST(ProofOfWork, ParallelSearchFindsTheSmallestNonce) {
    for (int round = 0; round < 40; ++round) {
        const std::string challenge = "race-" + std::to_string(round);
        const int bits = 3 + round % 6;
        const std::uint64_t expected = literalSmallestNonce(challenge, bits);
        for (const NonceSearchOptions options :
             {NonceSearchOptions{1, 1 << 14}, NonceSearchOptions{4, 1}, NonceSearchOptions{3, 7},
              NonceSearchOptions{8, 64}}) {
            EXPECT_EQ(search(challenge, bits, options).nonce, expected)
                << challenge << " at " << bits << " bits, " << options.threads << " threads";
        }
    }
    EXPECT_EQ(search("abc", 16, {8, 5}).nonce, 22421u);
}

TEST(ProofOfWork, ZeroOrNegativeDifficultyAcceptsNonceZero) {
    EXPECT_EQ(search("abc", 0).nonce, 0u);
    EXPECT_EQ(search("abc", -5).nonce, 0u);
    EXPECT_TRUE(nonceMeetsDifficulty("abc", 0, 0));
}

TEST(ProofOfWork, DifficultyAboveTheDigestSizeIsRefused) {
    const auto result = search("abc", 257);
    EXPECT_FALSE(result.nonce);
    EXPECT_NE(result.error.find("257"), std::string::npos);
    EXPECT_NE(result.error.find("невозможно"), std::string::npos);
    EXPECT_FALSE(nonceMeetsDifficulty("abc", 181, 257));
}

TEST(ProofOfWork, StopEndsASearchWithoutResultOrError) {
    std::atomic<bool> stop{false};
    NonceSearchResult result;
    const auto started = std::chrono::steady_clock::now();
    std::thread searcher([&] { result = findSmallestNonce("abc", 200, stop, {2, 1024}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = true;
    searcher.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_FALSE(result.nonce);
    EXPECT_TRUE(result.error.empty());

    const auto stoppedBefore = findSmallestNonce("abc", 8, stop);
    EXPECT_FALSE(stoppedBefore.nonce);
    EXPECT_TRUE(stoppedBefore.error.empty());
}

TEST(ProofOfWork, ServerRuleRejectsANonceBelowTheDifficulty) {
    EXPECT_TRUE(nonceMeetsDifficulty("abc", 181, 10));
    EXPECT_FALSE(nonceMeetsDifficulty("abc", 181, 11));
    EXPECT_FALSE(nonceMeetsDifficulty("abc", 180, 8));
}

} // namespace
} // namespace qbk::pow
