#include "platform/reentrant_lock.h"

#include <pthread.h>

#include <new>

namespace platform {

namespace {

static_assert(sizeof(pthread_mutex_t) <= 64, "pthread_mutex_t must fit the lock's storage");

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

void ReentrantLock::Enter() {
    pthread_mutex_lock(MutexOf(storage_));
}

void ReentrantLock::Leave() {
    pthread_mutex_unlock(MutexOf(storage_));
}

}  // namespace platform
