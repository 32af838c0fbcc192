// platform::ReentrantLock on POSIX: a recursive pthread mutex.
#include "platform/reentrant_lock.h"

#include <pthread.h>

#include <new>

namespace platform {

namespace {

static_assert(sizeof(pthread_mutex_t) <= 64, "pthread_mutex_t must fit the lock's storage");

constexpr int kAttemptsBeforeSleep = 10;
constexpr int kPausesPerAttempt = 16;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

pthread_mutex_t* MutexOf(unsigned char* storage) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}

}  // namespace

void ReentrantLock::Init() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (storage_) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
    initialised_ = true;
}

void ReentrantLock::Destroy() {
    if (initialised_) {
        pthread_mutex_destroy(MutexOf(storage_));
        initialised_ = false;
    }
}

void ReentrantLock::Enter() {
    // The lock is held for a few dozen nanoseconds at a time: a short spin
    // finds it free again without putting the thread to sleep, and spares
    // the holder the system call that would wake it.
    pthread_mutex_t* mutex = MutexOf(storage_);
    for (int attempt = 0; attempt < kAttemptsBeforeSleep; ++attempt) {
        if (pthread_mutex_trylock(mutex) == 0) {
            return;
        }
        // Pause between attempts, so as not to keep taking the lock's
        // cache line away from the holder that is about to release it.
        for (int spin = 0; spin < kPausesPerAttempt; ++spin) {
            CpuRelax();
        }
    }
    pthread_mutex_lock(mutex);
}

void ReentrantLock::Leave() {
    pthread_mutex_unlock(MutexOf(storage_));
}

}  // namespace platform
