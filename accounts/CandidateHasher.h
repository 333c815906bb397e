#pragma once

#include <memory>
#include <string_view>

namespace qbk::pow {

// Hashes candidates that share one prefix, as fast as the platform allows: with OpenSSL the
// prefix's whole blocks are compressed once and only the last block is hashed per attempt;
// on Windows one CNG digest is reused. Not thread-safe: one hasher per search thread.
class CandidateHasher {
public:
    explicit CandidateHasher(std::string_view prefix);
    ~CandidateHasher();
    CandidateHasher(const CandidateHasher&) = delete;
    CandidateHasher& operator=(const CandidateHasher&) = delete;

    bool isValid() const;

    // Leading zero bits of SHA-256(prefix + digits); -1 when the provider failed.
    int leadingZeroBits(std::string_view digits);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace qbk::pow
