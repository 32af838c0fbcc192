#include "platform/thread.h"

#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace platform {

namespace {

static_assert(sizeof(pthread_t) <= sizeof(uintptr_t), "pthread_t must fit the handle field");

struct StartArgs {
    ThreadRoutine routine;
    void* parameter;
};

void* RunRoutine(void* raw) {
    const StartArgs args = *static_cast<StartArgs*>(raw);
    delete static_cast<StartArgs*>(raw);
    // A background worker: under the batch policy a wake-up does not
    // preempt the thread that woke it (on a busy machine the wakee is often
    // put on the waker's processor). No privilege is needed; on failure the
    // thread keeps the default policy.
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
    args.routine(args.parameter);
    return nullptr;
}

pthread_t ToPthread(uintptr_t native) {
    pthread_t thread;
    std::memcpy(&thread, &native, sizeof(thread));
    return thread;
}

}  // namespace

Thread::~Thread() {
    Close();
}

bool Thread::Start(ThreadRoutine routine, void* parameter) {
    Close();
    auto* args = new StartArgs{routine, parameter};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, &RunRoutine, args) != 0) {
        delete args;
        return false;
    }
    native_ = 0;
    std::memcpy(&native_, &thread, sizeof(thread));
    open_ = true;
    joined_ = false;
    return true;
}

void Thread::Wait() {
    if (open_ && !joined_) {
        pthread_join(ToPthread(native_), nullptr);
        joined_ = true;
    }
}

void Thread::Close() {
    if (open_) {
        if (!joined_) {
            pthread_detach(ToPthread(native_));
        }
        open_ = false;
        joined_ = false;
        native_ = 0;
    }
}

void SleepMilliseconds(uint32_t milliseconds) {
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
