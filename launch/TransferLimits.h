#pragma once

#include "launch/TransferWatch.h"

#include <chrono>
#include <cstdint>

namespace qbk {

// Bounds on one transfer, so that a silent or stalled server cannot hold a worker thread.
struct TransferLimits {
    std::chrono::milliseconds connectTimeout{15000};
    // A transfer slower than this many bytes per second for the whole window is aborted: a
    // server trickling a byte a second counts as stalled, not as slow.
    long lowSpeedBytesPerSecond = 1024;
    std::chrono::seconds lowSpeedWindow{30};
    // A document read into memory (a version file, a manifest, a reply) larger than this is
    // refused; the largest real one is a few megabytes.
    std::int64_t maxDocumentBytes = std::int64_t{64} << 20;
    // Not owned; null: nothing watches and nothing stops the transfers early.
    TransferWatch* watch = nullptr;
};

} // namespace qbk
