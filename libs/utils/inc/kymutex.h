// ky::mutex, a re-entrant lock: the thread that holds it may take it again,
// and it is free once every lock has been released.
#pragma once

#include <mutex>

#include "kyutilsexport.h"

namespace ky {

/// A re-entrant lock: the thread that holds it may take it again, and it is
/// free once every lock has been released. Owned by whoever guards with it;
/// neither copied nor assigned.
class KY_UTILS_API mutex {
public:
    /// A free lock.
    mutex() = default;
    mutex(const mutex&) = delete;
    mutex& operator=(const mutex&) = delete;

    /// Takes the lock, waiting if another thread holds it; answers true.
    bool lock() { mImpl.lock(); return true; }
    /// Takes the lock only if it is free or already this thread's.
    bool tryLock() { return mImpl.try_lock(); }
    /// Releases one lock of this thread.
    void release() { mImpl.unlock(); }

private:
    std::recursive_mutex mImpl;
};

/// Holds a ky::mutex for the life of a scope.
/// It lives on one thread's stack and neither copies nor assigns.
class mutexLock {
public:
    /// Takes `m`, waiting if another thread holds it; releases it on leaving the scope.
    explicit mutexLock(mutex& m) : mMutex(m) { mMutex.lock(); }
    ~mutexLock() { mMutex.release(); }
    mutexLock(const mutexLock&) = delete;
    mutexLock& operator=(const mutexLock&) = delete;

private:
    mutex& mMutex;
};

}  // namespace ky
