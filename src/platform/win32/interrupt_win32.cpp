// Interrupts on Windows: a console control handler. The system runs it on a
// thread of its own; it records the first event. Ctrl+C and Ctrl+Break are
// then handled (the process goes on until the scan ends itself). For the
// close, logoff and shutdown events the system ends the process when the
// handler returns, or after a few seconds at the latest, so the handler
// waits, for a bounded time, until the scan has ended its log. A logoff
// event outside an interactive session is no interrupt at all
// (logoff_rule.h): handled, and the run goes on.
#include <windows.h>

#include "platform/interrupt.h"
#include "platform/logoff_rule.h"

namespace platform {

namespace {

constexpr LONG kNone = -1;
// The system allows about five seconds after a close event.
constexpr DWORD kCloseWaitMilliseconds = 4000;
constexpr UINT kControlCExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT

volatile LONG g_event = kNone;
HANDLE g_ended = nullptr;  // set once the scan has ended its log
bool g_watching = false;
// Whether a logoff event ends this run: decided once, before the handler
// is installed (the handler then only reads it).
bool g_logoff_ends_run = true;

// The session of this process (ProcessIdToSessionId, through GetProcAddress:
// its documented minimum is Windows Vista, though XP's kernel32 has it) and
// whether the system keeps session 0 to services (Vista, 6.0, and later;
// GetVersion tells at least 6.2 on every later system, manifested or not).
bool LogoffEndsThisRun() {
    using SessionOf = BOOL(WINAPI*)(DWORD, DWORD*);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const auto session_of = kernel32 == nullptr
                                ? nullptr
                                : reinterpret_cast<SessionOf>(reinterpret_cast<void (*)()>(
                                      GetProcAddress(kernel32, "ProcessIdToSessionId")));
    DWORD session = 0;
    const bool known = session_of != nullptr && session_of(GetCurrentProcessId(), &session) != 0;
    const bool isolated = LOBYTE(LOWORD(GetVersion())) >= 6;
    return LogoffEndsRun(known, session, isolated);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_LOGOFF_EVENT && !g_logoff_ends_run) {
        return TRUE;  // another session's user: handled, the run goes on
    }
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
    g_logoff_ends_run = LogoffEndsThisRun();
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
    // The log is closed and the console flushed. ExitProcess would end the
    // other threads wherever they stand (a reader may be inside a call of
    // the system, holding the heap's lock or the loader's) and then run
    // every DLL's detach, which can wait for ever on such a lock: the
    // process is ended instead, with no detach run, with the interrupt's
    // code.
    if (TerminateProcess(GetCurrentProcess(), kControlCExit)) {
        for (;;) {
            Sleep(INFINITE);  // the end is under way; this thread is ended with the rest
        }
    }
    ExitProcess(kControlCExit);  // only when the process could not end itself
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
