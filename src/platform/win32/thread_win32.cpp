#include "platform/thread.h"

#include <windows.h>

namespace platform {

namespace {

struct ThreadStart {
    ThreadRoutine routine;
    void* parameter;
};

DWORD WINAPI RunRoutine(LPVOID raw) {
    const ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.routine(start.parameter);
}

HANDLE HandleOf(uintptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}

}  // namespace

Thread::~Thread() {
    Close();
}

bool Thread::Start(ThreadRoutine routine, void* parameter) {
    Close();
    auto* start = new ThreadStart{routine, parameter};
    // Default security and stack size, running at once, no thread id.
    HANDLE thread = CreateThread(NULL, 0, &RunRoutine, start, 0, NULL);
    if (thread == NULL) {
        delete start;
        return false;
    }
    native_ = reinterpret_cast<uintptr_t>(thread);
    open_ = true;
    joined_ = false;
    return true;
}

void Thread::Wait() {
    if (open_) {
        WaitForSingleObject(HandleOf(native_), INFINITE);
        joined_ = true;
    }
}

void Thread::Close() {
    if (open_) {
        CloseHandle(HandleOf(native_));
        open_ = false;
        joined_ = false;
        native_ = 0;
    }
}

void SleepMilliseconds(uint32_t milliseconds) {
    Sleep(milliseconds);
}

}  // namespace platform
