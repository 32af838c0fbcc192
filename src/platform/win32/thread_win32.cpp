// platform::Thread on Win32: CreateThread with default security and stack.
#include "platform/thread.h"

#include <windows.h>

#include "platform/fault_seam.h"
#include "platform/win32/win32_handles.h"

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

}  // namespace

void Thread::HandleTraits::Close(void* handle) {
    win32::KeepingLastError([handle] { CloseHandle(static_cast<HANDLE>(handle)); });
}

bool Thread::Start(ThreadRoutine routine, void* parameter) {
    Close();
    if (fault::Hit(fault::Op::ThreadStart).effect == fault::Effect::Fail) {
        return false;
    }
    auto* start = new ThreadStart{routine, parameter};
    // Default security and stack size, running at once, no thread id.
    HANDLE thread = CreateThread(NULL, 0, &RunRoutine, start, 0, NULL);
    if (thread == NULL) {
        delete start;
        return false;
    }
    handle_.Reset(thread);
    return true;
}

void Thread::Wait() {
    if (handle_.IsValid()) {
        WaitForSingleObject(static_cast<HANDLE>(handle_.Get()), INFINITE);
    }
}

void CpuRelax() {
    YieldProcessor();
}

void SleepMilliseconds(uint32_t milliseconds) {
    Sleep(milliseconds);
}

}  // namespace platform
