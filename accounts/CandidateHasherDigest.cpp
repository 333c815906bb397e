#include "accounts/CandidateHasher.h"
#include "accounts/ProofOfWork.h"
#include "platform/Digest.h"

#include <string>

namespace qbk::pow {

struct CandidateHasher::State {
    platform::Digest digest{platform::HashAlgorithm::Sha256};
    std::string prefix;
};

CandidateHasher::CandidateHasher(std::string_view prefix) : state_(std::make_unique<State>()) {
    state_->prefix.assign(prefix);
}

CandidateHasher::~CandidateHasher() = default;

bool CandidateHasher::isValid() const {
    return state_->digest.isValid();
}

int CandidateHasher::leadingZeroBits(std::string_view digits) {
    State& s = *state_;
    s.digest.update(s.prefix);
    s.digest.update(digits);
    Sha256 out{};
    std::size_t written = 0;
    if (!s.digest.finish(out.data(), out.size(), written) || written != out.size())
        return -1;
    return pow::leadingZeroBits(out);
}

} // namespace qbk::pow
