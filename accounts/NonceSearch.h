#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qbk::pow {

// A found nonce, or an error text (UTF-8, for the player); neither when the search was
// stopped from outside.
struct NonceSearchResult {
    std::optional<std::uint64_t> nonce;
    std::string error;
};

struct NonceSearchOptions {
    unsigned threads = 0;              // 0: one per hardware thread
    std::uint64_t blockSize = 1 << 14; // nonces a thread takes at once
};

// The smallest nonce meeting the difficulty, searched on several threads in interleaved
// blocks. Polls stop between blocks.
NonceSearchResult findSmallestNonce(std::string_view challengeUtf8, int difficultyBits,
                                    const std::atomic<bool>& stop, NonceSearchOptions options = {});

} // namespace qbk::pow
