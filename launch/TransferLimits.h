#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace qbk {

// Watches the transfers and steps of one run from any thread: asked at every progress call
// whether to stop, told the bytes that arrive, and told what the run does next.
class TransferWatch {
public:
    virtual ~TransferWatch() = default;
    // True once the run is to stop: transfers abort, pools take no further task.
    virtual bool stopRequested() const = 0;
    // New bytes of one transfer (negative: a failed attempt's bytes taken back) and that
    // transfer's announced total, 0 while unknown.
    virtual void received(std::int64_t bytes, std::int64_t transferTotal) = 0;
    // Downloads of `bytes` in all follow (0: their transfers announce it), filling the bar up
    // to endPercent of the caller's scale.
    virtual void beginDownloads(const std::wstring& text, std::int64_t bytes, int endPercent) = 0;
    // A step without bytes (unpacking, a child process) up to endPercent.
    virtual void beginStep(const std::wstring& text, int endPercent) = 0;
};

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

// The text a stopped run reports.
inline constexpr const char* kStoppedText = "Запуск отменён.";

} // namespace qbk
