#include "launch/TransferRate.h"

namespace qbk {

void TransferRate::sample(double at, std::int64_t bytes) {
    samples_.push_back({at, bytes});
    // Keep one sample at or before the window's start, so the span covers the whole window.
    while (samples_.size() > 2 && samples_.back().seconds - samples_[1].seconds >= kWindowSeconds)
        samples_.pop_front();
}

double TransferRate::span() const {
    return samples_.size() < 2 ? 0.0 : samples_.back().seconds - samples_.front().seconds;
}

double TransferRate::bytesPerSecond() const {
    if (span() < 0.5)
        return 0;
    return static_cast<double>(samples_.back().bytes - samples_.front().bytes) / span();
}

bool TransferRate::steady() const {
    return span() >= kSteadySeconds && bytesPerSecond() > 0;
}

std::optional<double> TransferRate::secondsLeft(std::int64_t remaining) const {
    if (!steady() || remaining < 0)
        return std::nullopt;
    return static_cast<double>(remaining) / bytesPerSecond();
}

} // namespace qbk
