// Interrupts of the scan by the user or the system: Ctrl+C, Ctrl+Break and
// the console's close, logoff and shutdown events on Windows; SIGINT,
// SIGTERM and SIGHUP on POSIX. While watched, an interrupt only sets a flag;
// the scan reads it between two files, ends its log and then ends the
// process as the platform ends it for that interrupt without a handler.
#pragma once

#include <cstdint>

namespace platform {

// Starts watching. A signal that the process was started with ignored (as
// under nohup) stays ignored.
void WatchInterrupts();
// Stops watching and restores the handling there was before: an interrupt
// from now on ends the process at once, as it would without this program's
// handler. An interrupt that arrived while watched stays requested.
void StopWatchingInterrupts();

// True once an interrupt arrived while watched. Safe to call at any time.
bool InterruptRequested();
// The interrupt's name for the log: "SIGINT", "SIGTERM", "SIGHUP",
// "Ctrl+C", "Ctrl+Break", "console closed", "logoff", "shutdown"; "" when
// none arrived.
const char* InterruptName();

// Records the interrupt "console closed" when none was recorded: standard
// output went to a pipe or console that is gone (a write failed with EPIPE,
// or ERROR_NO_DATA / ERROR_BROKEN_PIPE on Windows). The scan then ends as
// for any interrupt. Safe to call from any thread, watched or not.
void NoteConsoleClosed();

// Ends the process as the first interrupt would have ended it without a
// handler: on Windows the exit code 0xC000013A (STATUS_CONTROL_C_EXIT); on
// POSIX the signal raised again with its default action (SIGPIPE for a
// closed console). Returns only when no interrupt arrived.
void EndAsInterrupted();

// Test seam: runs the Windows console-event handler for `event` as the
// system would, on the calling thread, and returns its answer (true:
// handled). POSIX delivers its signals with raise() instead, and this
// answers false.
bool RunConsoleEventHandler(uint32_t event);
// Test seam: forgets the interrupt that arrived, so that a test process can
// see another.
void ForgetInterrupt();

}  // namespace platform
