#include "launch/LaunchProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qbk {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr std::chrono::milliseconds kEmitInterval{100};
constexpr std::chrono::milliseconds kTick{250};
// A step without bytes covers about two thirds of its share in this many seconds.
constexpr double kStepCreepSeconds = 40.0;

// Whole numbers from 10 up, one decimal (with a comma) below; what is done so far rounded
// down, so that it reads as the total only once it is.
std::wstring amount(double value, bool nearest = true) {
    const auto cut = [nearest](double v) {
        return nearest ? std::round(v) : std::floor(v);
    };
    wchar_t text[32];
    if (value >= 10)
        std::swprintf(text, 32, L"%.0f", cut(value));
    else
        std::swprintf(text, 32, L"%.1f", cut(value * 10) / 10);
    std::wstring result = text;
    std::replace(result.begin(), result.end(), L'.', L',');
    return result;
}

std::wstring seconds(double value) {
    const long long whole = std::max(1LL, std::llround(value));
    if (whole < 60)
        return std::to_wstring(whole) + L" с";
    return std::to_wstring(whole / 60) + L" мин " + std::to_wstring(whole % 60) + L" с";
}

} // namespace

std::wstring DownloadText(const std::wstring& what, std::int64_t done, std::int64_t total,
                          double bytesPerSecond, std::optional<double> secondsLeft) {
    const bool mebibytes = std::max(done, total) >= kMiB;
    const double unit = mebibytes ? kMiB : 1024.0;
    std::wstring text = what + L": " + amount(static_cast<double>(done) / unit, false);
    if (total > 0)
        text += L" из " + amount(static_cast<double>(total) / unit);
    text += mebibytes ? L" МБ" : L" КБ";
    if (bytesPerSecond > 0)
        text += bytesPerSecond >= kMiB ? L" · " + amount(bytesPerSecond / kMiB) + L" МБ/с"
                                       : L" · " + amount(bytesPerSecond / 1024) + L" КБ/с";
    if (secondsLeft && total > 0)
        text += L" · осталось " + seconds(*secondsLeft);
    return text;
}

LaunchProgress::LaunchProgress(Emit emit, std::shared_ptr<std::atomic<bool>> stop)
    : emit_(std::move(emit)), stop_(std::move(stop)) {
    if (!stop_)
        stop_ = std::make_shared<std::atomic<bool>>(false);
    ticker_ = std::thread([this] { tick(); });
}

LaunchProgress::~LaunchProgress() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    ticker_.join();
}

void LaunchProgress::setScale(int from, int to) {
    std::lock_guard lock(mutex_);
    scaleFrom_ = from;
    scaleTo_ = to;
}

int LaunchProgress::mapped(int percent) const {
    return scaleFrom_ + std::clamp(percent, 0, 100) * (scaleTo_ - scaleFrom_) / 100;
}

double LaunchProgress::elapsed() const {
    return std::chrono::duration<double>(Clock::now() - stageStart_).count();
}

void LaunchProgress::show(const std::wstring& text, int percent) {
    // The bar never runs backwards within a launch.
    bar_ = std::max(bar_, percent);
    lastEmit_ = Clock::now();
    if (emit_)
        emit_(text, bar_);
}

void LaunchProgress::status(const std::wstring& text, int percent) {
    std::lock_guard lock(mutex_);
    stage_ = Stage::None;
    show(text, mapped(percent));
}

// The stage's bar runs from where it stands to the stage's end, never backwards.
void LaunchProgress::enterStage(Stage stage, const std::wstring& text, int endPercent) {
    stage_ = stage;
    stageText_ = text;
    stageFrom_ = bar_;
    stageTo_ = std::max(bar_, mapped(endPercent));
    stageStart_ = Clock::now();
}

void LaunchProgress::beginDownloads(const std::wstring& text, std::int64_t bytes, int endPercent) {
    std::lock_guard lock(mutex_);
    enterStage(Stage::Bytes, text, endPercent);
    total_ = bytes;
    done_ = 0;
    totalAnnounced_ = bytes > 0;
    rate_.reset();
    rate_.sample(0, 0);
    emitBytes(true);
}

void LaunchProgress::beginStep(const std::wstring& text, int endPercent) {
    std::lock_guard lock(mutex_);
    enterStage(Stage::Step, text, endPercent);
    show(text + L"...", bar_);
}

void LaunchProgress::received(std::int64_t bytes, std::int64_t transferTotal) {
    std::lock_guard lock(mutex_);
    if (stage_ != Stage::Bytes)
        return; // documents between stages are not part of any shown total
    done_ = std::max<std::int64_t>(0, done_ + bytes);
    if (!totalAnnounced_ && transferTotal > 0) {
        total_ = std::max(transferTotal, done_);
        totalAnnounced_ = true;
    }
    emitBytes(false);
}

void LaunchProgress::emitBytes(bool force) {
    const auto now = Clock::now();
    const bool complete = total_ > 0 && done_ >= total_;
    if (!force && !complete && now - lastEmit_ < kEmitInterval)
        return;
    rate_.sample(elapsed(), done_);
    const std::int64_t shownTotal = total_ > 0 ? std::max(total_, done_) : 0;
    int percent = stageFrom_;
    if (shownTotal > 0)
        percent += static_cast<int>((stageTo_ - stageFrom_) * done_ / shownTotal);
    show(DownloadText(stageText_, done_, shownTotal, rate_.bytesPerSecond(),
                      rate_.secondsLeft(shownTotal - done_)),
         percent);
}

void LaunchProgress::tick() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        wake_.wait_for(lock, kTick);
        if (ending_ || stage_ != Stage::Step)
            continue;
        const double spent = elapsed();
        const double share = 1.0 - std::exp(-spent / kStepCreepSeconds);
        const int percent = stageFrom_ + static_cast<int>((stageTo_ - stageFrom_) * share);
        show(stageText_ + L"... " + seconds(spent), percent);
    }
}

} // namespace qbk
