#pragma once

#include <chrono>

namespace qbk {

// Bounds on one transfer, so that a silent or stalled server cannot hold a worker thread.
struct TransferLimits {
    std::chrono::milliseconds connectTimeout{15000};
    // A transfer slower than this many bytes per second for the whole window is aborted.
    long lowSpeedBytesPerSecond = 1;
    std::chrono::seconds lowSpeedWindow{30};
};

} // namespace qbk
