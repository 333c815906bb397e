#include "app/InstanceLock.h"

#include "platform/Platform.h"

#include <QLockFile>
#include <QString>
#include <atomic>

namespace qbk {

namespace {
std::atomic<int> heldLocks{0};
} // namespace

InstanceLock::InstanceLock(const std::filesystem::path& launcherDir)
    : lock_(std::make_unique<QLockFile>(
          QString::fromStdString(platform::pathToUtf8(lockFile(launcherDir))))) {
    // Staleness by age alone would let a second instance in while a long install runs; only a
    // holder that is gone makes the lock stale.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        state_ = State::Held;
        ++heldLocks;
    } else if (lock_->error() == QLockFile::LockFailedError)
        state_ = State::HeldByAnother;
}

InstanceLock::~InstanceLock() {
    if (state_ == State::Held)
        --heldLocks;
}

bool InstanceLock::heldByThisProcess() {
    return heldLocks > 0;
}

std::filesystem::path InstanceLock::lockFile(const std::filesystem::path& launcherDir) {
    return launcherDir / "Quellbrook.lock";
}

} // namespace qbk
