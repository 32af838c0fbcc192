// Interrupts on Windows: a console control handler. The system runs it on a
// thread of its own; it records the first event. Ctrl+C and Ctrl+Break are
// then handled (the process goes on until the scan ends itself). For the
// close, logoff and shutdown events the system ends the process when the
// handler returns, or after a few seconds at the latest, so the handler
// waits, for a bounded time, until the scan has ended its log.
#include <windows.h>

#include "platform/interrupt.h"

namespace platform {

namespace {

constexpr LONG kNone = -1;
// The system allows about five seconds after a close event.
constexpr DWORD kCloseWaitMilliseconds = 4000;
constexpr UINT kControlCExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT

volatile LONG g_event = kNone;
HANDLE g_ended = nullptr;  // set once the scan has ended its log
bool g_watching = false;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    InterlockedCompareExchange(&g_event, static_cast<LONG>(event), kNone);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    if (g_ended != nullptr) {
        WaitForSingleObject(g_ended, kCloseWaitMilliseconds);
    }
    return TRUE;
}

}  // namespace

void WatchInterrupts() {
    if (g_watching) {
        return;
    }
    if (g_ended == nullptr) {
        g_ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    g_watching = SetConsoleCtrlHandler(&OnConsoleEvent, TRUE) != 0;
}

void StopWatchingInterrupts() {
    if (g_watching) {
        SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
        g_watching = false;
    }
}

void NoteConsoleClosed() {
    InterlockedCompareExchange(&g_event, static_cast<LONG>(CTRL_CLOSE_EVENT), kNone);
}

bool InterruptRequested() {
    return InterlockedCompareExchange(&g_event, kNone, kNone) != kNone;
}

const char* InterruptName() {
    switch (InterlockedCompareExchange(&g_event, kNone, kNone)) {
        case CTRL_C_EVENT:
            return "Ctrl+C";
        case CTRL_BREAK_EVENT:
            return "Ctrl+Break";
        case CTRL_CLOSE_EVENT:
            return "console closed";
        case CTRL_LOGOFF_EVENT:
            return "logoff";
        case CTRL_SHUTDOWN_EVENT:
            return "shutdown";
        default:
            return "";
    }
}

void EndAsInterrupted() {
    if (!InterruptRequested()) {
        return;
    }
    if (g_ended != nullptr) {
        SetEvent(g_ended);  // a waiting close handler may return now
    }
    ExitProcess(kControlCExit);
}

bool RunConsoleEventHandler(uint32_t event) {
    return OnConsoleEvent(event) != 0;
}

void ForgetInterrupt() {
    InterlockedExchange(&g_event, kNone);
    if (g_ended != nullptr) {
        ResetEvent(g_ended);
    }
}

}  // namespace platform
