// Interrupts on POSIX: SIGINT, SIGTERM and SIGHUP set a flag (the handler
// does nothing else, so it is safe at any point); system calls that the
// signal meets are restarted, so a read or write of the file in hand goes on.
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/interrupt.h"

namespace platform {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// The first signal that arrived (SIGPIPE: the console closed). Written by
// whichever thread takes the signal, read by the scan's thread: a lock-free
// atomic, which a signal handler may use.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");
struct sigaction g_previous[kSignalCount];
bool g_watching[kSignalCount] = {};

void Record(int signal_number) {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal_number);
}

extern "C" void OnInterrupt(int signal_number) {
    Record(signal_number);
}

}  // namespace

void WatchInterrupts() {
    // A closed standard output is an interrupt like the others, seen by the
    // console's failed write (EPIPE), never a death by SIGPIPE in the middle
    // of a file. It stays ignored after the watch: an interrupt ends the
    // process with SIGPIPE's default action once the log is complete.
    signal(SIGPIPE, SIG_IGN);
    for (int i = 0; i < kSignalCount; ++i) {
        if (g_watching[i] || sigaction(kSignals[i], nullptr, &g_previous[i]) != 0) {
            continue;
        }
        if (g_previous[i].sa_handler == SIG_IGN) {
            continue;  // started ignored: stays ignored
        }
        struct sigaction action = {};
        action.sa_handler = &OnInterrupt;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (int signal_number : kSignals) {
            sigaddset(&action.sa_mask, signal_number);
        }
        g_watching[i] = sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

void StopWatchingInterrupts() {
    for (int i = 0; i < kSignalCount; ++i) {
        if (g_watching[i]) {
            sigaction(kSignals[i], &g_previous[i], nullptr);
            g_watching[i] = false;
        }
    }
}

bool InterruptRequested() {
    return g_signal.load() != 0;
}

void NoteConsoleClosed() {
    Record(SIGPIPE);
}

const char* InterruptName() {
    switch (g_signal.load()) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        case SIGPIPE:
            return "console closed";
        default:
            return "";
    }
}

void EndAsInterrupted() {
    const int signal_number = g_signal.load();
    if (signal_number == 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal_number);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal_number);
    // Only if the default action did not end the process: the shell's code
    // for a death by this signal.
    _exit(128 + signal_number);
}

bool RunConsoleEventHandler(uint32_t) {
    return false;
}

void ForgetInterrupt() {
    g_signal.store(0);
}

}  // namespace platform
