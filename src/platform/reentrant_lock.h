// A lock that the owning thread may enter again (a critical section on
// Windows, a recursive mutex on POSIX). It is initialised explicitly and
// never destroyed: it lasts until the process ends, so that a lock held by a
// static object stays usable through the whole exit sequence.
#pragma once

namespace platform {

class ReentrantLock {
  public:
    ReentrantLock() = default;
    ReentrantLock(const ReentrantLock&) = delete;
    ReentrantLock& operator=(const ReentrantLock&) = delete;

    void Init();
    bool IsInitialised() const { return initialised_; }
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
