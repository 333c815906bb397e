#pragma once

#include <functional>
#include <mutex>

namespace qbk {

// The mods folder has one writer at a time in the process: the mod manager's downloads and
// the launch's sync both hold this lock while they write there.
class ModsFolderLock {
public:
    // Takes the lock; when another writer holds it, beforeWaiting runs first (to say so).
    static std::unique_lock<std::mutex> acquire(const std::function<void()>& beforeWaiting = {}) {
        std::unique_lock<std::mutex> lock(mutex(), std::try_to_lock);
        if (lock.owns_lock())
            return lock;
        if (beforeWaiting)
            beforeWaiting();
        lock.lock();
        return lock;
    }

private:
    static std::mutex& mutex() {
        static std::mutex folderMutex;
        return folderMutex;
    }
};

} // namespace qbk
