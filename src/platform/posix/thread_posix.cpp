// platform::Thread on POSIX: a pthread under the batch policy, joined or detached.
#include "platform/thread.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

#include "platform/fault_seam.h"

namespace platform {

namespace {

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

// A started thread, joined or not yet.
struct PosixThread {
    pthread_t thread;
    bool joined = false;
};

PosixThread* ThreadOf(void* handle) {
    return static_cast<PosixThread*>(handle);
}

}  // namespace

void Thread::HandleTraits::Close(void* handle) {
    PosixThread* record = ThreadOf(handle);
    if (!record->joined) {
        pthread_detach(record->thread);
    }
    delete record;
}

bool Thread::Start(ThreadRoutine routine, void* parameter) {
    Close();
    if (fault::Hit(fault::Op::ThreadStart).effect == fault::Effect::Fail) {
        return false;
    }
    auto* args = new StartArgs{routine, parameter};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, &RunRoutine, args) != 0) {
        delete args;
        return false;
    }
    handle_.Reset(new PosixThread{thread, false});
    return true;
}

void Thread::Wait() {
    PosixThread* record = ThreadOf(handle_.Get());
    if (record != nullptr && !record->joined) {
        pthread_join(record->thread, nullptr);
        record->joined = true;
    }
}

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

void SleepMilliseconds(uint32_t milliseconds) {
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
