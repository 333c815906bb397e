#pragma once

#include "launch/TransferRate.h"
#include "launch/TransferWatch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qbk {

// "Скачивание ресурсов игры: 312 из 860 МБ · 48 МБ/с · осталось 11 с"; total 0: unknown.
std::wstring DownloadText(const std::wstring& what, std::int64_t done, std::int64_t total,
                          double bytesPerSecond, std::optional<double> secondsLeft);

// The status strip of one launch, fed from the worker and the pool's threads: byte stages
// with their speed and time left, steps without bytes whose bar keeps creeping, at most ten
// updates a second, and the stop request that every transfer of the run sees.
class LaunchProgress : public TransferWatch {
public:
    using Emit = std::function<void(const std::wstring& text, int percent)>;
    using Clock = std::chrono::steady_clock;

    LaunchProgress(Emit emit, std::shared_ptr<std::atomic<bool>> stop);
    ~LaunchProgress() override;
    LaunchProgress(const LaunchProgress&) = delete;
    LaunchProgress& operator=(const LaunchProgress&) = delete;

    // The part of the bar (0..100) that the callers' percentages cover from now on.
    void setScale(int from, int to);
    // A plain status with its percentage on the current scale; ends any stage.
    void status(const std::wstring& text, int percent);

    bool stopRequested() const override { return stop_->load(); }
    void received(std::int64_t bytes, std::int64_t transferTotal) override;
    void beginDownloads(const std::wstring& text, std::int64_t bytes, int endPercent) override;
    void beginStep(const std::wstring& text, int endPercent) override;

private:
    enum class Stage { None, Bytes, Step };

    int mapped(int percent) const;
    void enterStage(Stage stage, const std::wstring& text, int endPercent); // under mutex_
    double elapsed() const;
    void emitBytes(bool force);
    void tick();
    void show(const std::wstring& text, int percent);

    Emit emit_;
    std::shared_ptr<std::atomic<bool>> stop_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    int scaleFrom_ = 0;
    int scaleTo_ = 100;
    int bar_ = 0;
    Stage stage_ = Stage::None;
    std::wstring stageText_;
    int stageFrom_ = 0;
    int stageTo_ = 0;
    Clock::time_point stageStart_;
    Clock::time_point lastEmit_;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    bool totalAnnounced_ = false;
    TransferRate rate_;
    bool ending_ = false;
    std::thread ticker_;
};

} // namespace qbk
