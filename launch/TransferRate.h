#pragma once

#include <cstdint>
#include <deque>
#include <optional>

namespace qbk {

// Download speed smoothed over the last few seconds of (time, bytes so far) samples.
class TransferRate {
public:
    static constexpr double kWindowSeconds = 3.0;
    // The remaining time is shown only once the window has been this long.
    static constexpr double kSteadySeconds = 2.0;

    void sample(double seconds, std::int64_t bytes);
    void reset() { samples_.clear(); }
    // Bytes per second over the window; 0 until two samples half a second apart.
    double bytesPerSecond() const;
    bool steady() const;
    // Seconds left for `remaining` bytes; empty while the speed is not steady.
    std::optional<double> secondsLeft(std::int64_t remaining) const;

private:
    struct Sample {
        double seconds;
        std::int64_t bytes;
    };
    double span() const;
    std::deque<Sample> samples_;
};

} // namespace qbk
