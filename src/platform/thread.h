// One worker thread, started at once on a routine and its parameter; its
// exit code is the routine's result. The object stays in place while the
// thread runs (it is neither copied nor moved). The thread is meant for
// background work: on POSIX it runs under the batch scheduling policy, so
// waking it does not preempt the thread that wakes it.
#pragma once

#include <cstdint>

#include "platform/scoped_handle.h"

namespace platform {

using ThreadRoutine = uint32_t (*)(void* parameter);

class Thread {
  public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts `routine(parameter)` on a new thread. False on failure.
    bool Start(ThreadRoutine routine, void* parameter);
    // Waits without time-out until the thread has ended.
    void Wait();
    // Releases the handle; a thread still running goes on, detached.
    void Close() { handle_.Reset(); }
    bool IsOpen() const { return handle_.IsValid(); }

    // The handle's kind: the thread's HANDLE on Windows, the backend's
    // record of the thread on POSIX; the backend releases it.
    struct HandleTraits : NullableHandleTraits<void*> {
        static void Close(Value value);
    };

  private:
    ScopedHandle<HandleTraits> handle_;
};

// Suspends the calling thread for about `milliseconds`.
void SleepMilliseconds(uint32_t milliseconds);

// Tells the processor that the calling thread waits in a loop for another
// (the x86 PAUSE): the loop takes less power and the other's store is seen
// sooner.
void CpuRelax();

}  // namespace platform
