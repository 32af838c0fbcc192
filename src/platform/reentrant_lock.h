// A lock that the owning thread may enter again (a critical section on
// Windows, a recursive mutex on POSIX). It is initialised explicitly; a lock
// of a static object is never destroyed, so that it stays usable through the
// whole exit sequence, while one whose owner ends before the process does is
// destroyed by that owner (Destroy).
#pragma once

namespace platform {

class ReentrantLock {
  public:
    ReentrantLock() = default;
    ReentrantLock(const ReentrantLock&) = delete;
    ReentrantLock& operator=(const ReentrantLock&) = delete;

    void Init();
    bool IsInitialised() const { return initialised_; }
    // Releases what Init made (DeleteCriticalSection, pthread_mutex_destroy).
    // Nobody may hold or wait for the lock; it may be initialised again.
    void Destroy();
    void Enter();
    void Leave();

  private:
    // Room for a CRITICAL_SECTION or a pthread_mutex_t; each backend checks
    // that its lock fits.
    alignas(8) unsigned char storage_[64] = {};
    bool initialised_ = false;
};

// Holds a lock for its own lifetime.
class LockHold {
  public:
    explicit LockHold(ReentrantLock& lock) : lock_(lock) { lock_.Enter(); }
    ~LockHold() { lock_.Leave(); }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

  private:
    ReentrantLock& lock_;
};

}  // namespace platform
