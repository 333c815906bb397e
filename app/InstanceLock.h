#pragma once

#include <filesystem>
#include <memory>

class QLockFile;

namespace qbk {

// Keeps a second launcher off a folder that one is already installing into: holds
// "Quellbrook.lock" in the launcher folder for the life of the object. A lock left behind by
// an instance that crashed is taken over; a live holder's lock is only read, never written.
class InstanceLock {
public:
    enum class State { Held, HeldByAnother, Unavailable };

    explicit InstanceLock(const std::filesystem::path& launcherDir);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Unavailable: the lock file could not be made at all (a read-only folder, for one).
    State state() const { return state_; }

    // True while an InstanceLock of this process holds its folder.
    static bool heldByThisProcess();

    static std::filesystem::path lockFile(const std::filesystem::path& launcherDir);

private:
    std::unique_ptr<QLockFile> lock_;
    State state_ = State::Unavailable;
};

} // namespace qbk
