// platform::Event on POSIX: a mutex, a condition variable and the set flag.
#include "platform/event.h"

#include <pthread.h>
#include <time.h>

#include <atomic>

namespace platform {

namespace {

struct EventState {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    std::atomic<bool> set{false};
};

EventState* StateOf(void* handle) {
    return static_cast<EventState*>(handle);
}

}  // namespace

void Event::HandleTraits::Close(void* handle) {
    EventState* state = StateOf(handle);
    pthread_cond_destroy(&state->cond);
    pthread_mutex_destroy(&state->mutex);
    delete state;
}

bool Event::CreateManualReset() {
    handle_.Reset(new EventState);
    return true;
}

void Event::Set() {
    EventState* state = StateOf(handle_.Get());
    // Already set: nobody can be waiting, so there is no one to wake. A
    // reset that this read misses is ordered by the caller's own lock.
    if (state->set.load(std::memory_order_acquire)) {
        return;
    }
    pthread_mutex_lock(&state->mutex);
    state->set.store(true, std::memory_order_release);
    pthread_cond_broadcast(&state->cond);
    pthread_mutex_unlock(&state->mutex);
}

void Event::Reset() {
    EventState* state = StateOf(handle_.Get());
    pthread_mutex_lock(&state->mutex);
    state->set.store(false, std::memory_order_release);
    pthread_mutex_unlock(&state->mutex);
}

bool Event::Wait() {
    EventState* state = StateOf(handle_.Get());
    if (state == nullptr) {
        return false;
    }
    pthread_mutex_lock(&state->mutex);
    while (!state->set.load(std::memory_order_acquire)) {
        pthread_cond_wait(&state->cond, &state->mutex);
    }
    pthread_mutex_unlock(&state->mutex);
    return true;
}

bool Event::IsSetNow() const {
    const EventState* state = StateOf(handle_.Get());
    return state != nullptr && state->set.load(std::memory_order_acquire);
}

bool Event::WaitFor(uint32_t milliseconds) {
    EventState* state = StateOf(handle_.Get());
    if (state == nullptr) {
        return false;
    }
    // The condition variable waits by the realtime clock (its default); a
    // clock step shortens or lengthens one wait, which the callers' loops
    // tolerate.
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += static_cast<time_t>(milliseconds / 1000);
    until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&state->mutex);
    while (!state->set.load(std::memory_order_acquire)) {
        if (pthread_cond_timedwait(&state->cond, &state->mutex, &until) != 0) {
            break;
        }
    }
    const bool set = state->set.load(std::memory_order_acquire);
    pthread_mutex_unlock(&state->mutex);
    return set;
}

}  // namespace platform
