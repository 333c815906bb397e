#pragma once

#include <cstdint>
#include <string>

namespace qbk {

// Watches the transfers and steps of one run from any thread: asked at every progress call
// whether to stop, told the bytes that arrive, and told what the run does next.
class TransferWatch {
public:
    virtual ~TransferWatch();
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

// The text a stopped run reports.
inline constexpr const char* kStoppedText = "Запуск отменён.";

} // namespace qbk
