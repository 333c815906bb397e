#include "accounts/NonceSearch.h"

#include "accounts/CandidateHasher.h"
#include "accounts/ProofOfWork.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <thread>
#include <vector>

namespace qbk::pow {

namespace {

constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

// Decimal digits of a nonce, advanced in place so an attempt never formats or allocates.
class DecimalCounter {
public:
    explicit DecimalCounter(std::uint64_t value) {
        length_ = static_cast<std::size_t>(
            std::to_chars(digits_, digits_ + sizeof digits_, value).ptr - digits_);
    }
    std::string_view text() const { return {digits_, length_}; }
    void increment() {
        for (std::size_t i = length_; i-- > 0;) {
            if (digits_[i] != '9') {
                ++digits_[i];
                return;
            }
            digits_[i] = '0';
        }
        digits_[length_++] = '0';
        digits_[0] = '1';
    }

private:
    char digits_[24] = {};
    std::size_t length_ = 0;
};

struct SharedSearch {
    std::string prefix;
    int difficultyBits = 0;
    std::uint64_t blockSize = 0;
    const std::atomic<bool>* stop = nullptr;
    std::atomic<std::uint64_t> nextBlock{0};
    std::atomic<std::uint64_t> best{kNone};
    std::atomic<bool> hashFailed{false};

    bool shouldStop() const { return stop->load(std::memory_order_relaxed) || hashFailed.load(); }

    void offer(std::uint64_t nonce) {
        std::uint64_t current = best.load();
        while (nonce < current && !best.compare_exchange_weak(current, nonce)) {
        }
    }
};

// Every block below the final best is owned by one thread that scans it up to the best
// nonce, so the smallest passing nonce is found whatever the thread timing.
void searchBlocks(SharedSearch& search) {
    CandidateHasher hasher(search.prefix);
    if (!hasher.isValid()) {
        search.hashFailed = true;
        return;
    }
    while (!search.shouldStop()) {
        const std::uint64_t block = search.nextBlock.fetch_add(1);
        if (block >= kNone / search.blockSize)
            return;
        const std::uint64_t first = block * search.blockSize;
        if (first >= search.best.load())
            return;
        DecimalCounter counter(first);
        for (std::uint64_t nonce = first; nonce < first + search.blockSize; ++nonce) {
            const int zeros = hasher.leadingZeroBits(counter.text());
            if (zeros < 0) {
                search.hashFailed = true;
                return;
            }
            if (zeros >= search.difficultyBits) {
                search.offer(nonce);
                break;
            }
            counter.increment();
        }
    }
}

} // namespace

NonceSearchResult findSmallestNonce(std::string_view challengeUtf8, int difficultyBits,
                                    const std::atomic<bool>& stop, NonceSearchOptions options) {
    NonceSearchResult result;
    if (difficultyBits > kMaxDifficultyBits) {
        result.error = "Сервер прислал задачу сложностью " + std::to_string(difficultyBits) +
                       " бит, а больше 256 решить невозможно. Попробуй позже или сообщи "
                       "администрации.";
        return result;
    }
    if (difficultyBits <= 0) {
        result.nonce = 0;
        return result;
    }
    SharedSearch search;
    search.prefix = candidatePrefix(challengeUtf8);
    search.difficultyBits = difficultyBits;
    search.blockSize = std::max<std::uint64_t>(options.blockSize, 1);
    search.stop = &stop;
    const unsigned threads =
        options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    {
        std::vector<std::jthread> workers;
        for (unsigned i = 1; i < threads; ++i)
            workers.emplace_back([&search] { searchBlocks(search); });
        searchBlocks(search);
    }
    if (stop.load())
        return result;
    if (search.hashFailed) {
        result.error = "Не удалось вычислить SHA-256 для проверки: системный криптопровайдер "
                       "недоступен.";
        return result;
    }
    if (search.best.load() != kNone)
        result.nonce = search.best.load();
    else
        result.error = "Не удалось решить задачу сервера.";
    return result;
}

} // namespace qbk::pow
