// The process-wide asynchronous log. `Logger::Write` formats a line with its
// local timestamp on the caller's thread and queues it; a worker thread
// appends the queued lines to the log file in batches, so a caller never
// waits for the disk. The one instance is `g_Logger`.
//
// Line layout: "<year>-<month>-<day> HH:MM:SS mmm  <message>" and CR LF
// (month and day unpadded, at most 499 bytes of message; a line that
// carries a path, written with `WritePath`, holds the whole path).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "log/line_queue.h"
#include "log/timestamp_text.h"

#include "platform/event.h"
#include "platform/log_switch.h"
#include "platform/reentrant_lock.h"
#include "platform/thread.h"
#include "platform/types.h"

class Logger {
  public:
    Logger();
    // Stops the log (as `Stop`), then drops the lines still queued. The
    // queue lock is never destroyed and lasts until the process ends.
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Starts the log on `path` (null counts as empty): rotates an over-size
    // log file, creates the logging switch, the wake event and the queue
    // lock, and starts the worker. 1 started, 0 when no worker could be
    // started: the log is then written on the callers' threads, each line
    // as it is written, so a run is never left unlogged for want of a
    // thread. A switch that cannot be made leaves logging on (nobody can
    // turn it off). A log that can be kept nowhere (no path, or a file that
    // never opened) is said once on standard error.
    //
    // The program calls it once. It may be called again after `Stop` (the
    // tests start and stop the process-wide log many times): the queue lock
    // made by the first call is reused, the switch handle is replaced, the
    // lines left unwritten by the last run are dropped, and a new worker is
    // started.
    int Init(const PathChar* path);

    // Queues one line while the log runs and the logging switch is set.
    // Returns the length of the message, -1 when it was cut to 499 bytes,
    // or 0 when the line was dropped.
    int Write(const char* format, ...) ZQ_PRINTF_LIKE(2, 3);

    // As `Write`, for a line that carries a path (passed as the narrow text
    // of platform::PathText with "%s"): its message may hold up to
    // kPathMessageLimit bytes, room for the longest path the walk can build
    // and the rest of the line, so the path and what follows it are never
    // cut.
    int WritePath(const char* format, ...) ZQ_PRINTF_LIKE(2, 3);
    static constexpr size_t kPathMessageLimit = 20479;

    // Stops accepting lines, waits until the worker has written every line
    // accepted before (as long as the file can be opened) and has ended,
    // and releases the worker's handles. A second call does nothing more.
    // Never called on the worker thread. Lines that could not be written
    // (the file never opened, or a write or the close failed: a full disk)
    // are said on standard error (one line), or with `StopReport::ToCaller`
    // kept for `UnwrittenLine`, so that the caller places the line among
    // its own.
    enum class StopReport { ToStandardError, ToCaller };
    void Stop(StopReport report = StopReport::ToStandardError);

    // After a stop with `StopReport::ToCaller`: the line (without a line
    // break) that standard error would have got, empty when every line was
    // written or it was said already. Said once.
    std::string UnwrittenLine();

    // Lines the file took since the last `Init`: written, and closed
    // without error.
    uint64_t LinesWritten() const { return Written.load(); }

    // Releases the logging switch as the destructor does (on POSIX its name
    // is removed), for an end of the process that runs no destructors.
    void ReleaseSwitch() { SwitchEvent.Remove(); }

    // Moves a log file of 524288 bytes or more to the backup (the path with
    // "0" appended), replacing the old backup. Always 1.
    int RotateLogFile();

    // Lines the worker could not write because the log file did not open
    // are kept for the next open up to this many bytes of queue; past it the
    // oldest are dropped, and the next open begins with a line that says
    // how many were lost.
    static constexpr size_t kHeldBackLimit = 4 * 1024 * 1024;
    // Lines queued and not yet taken by the worker are kept within this
    // many bytes of queue: a writer that finds more waits until the worker
    // has taken them (it never drops a line for it). A log slower than the
    // scan then slows the scan instead of filling the memory.
    static constexpr size_t kPendingLimit = 8 * 1024 * 1024;

    // Test seam (builds with the tests only): called on the worker thread at two points of its
    // loop: inside the locked exchange step right after the stop flag was read (the queue lock is
    // held: the hook must not log), and right after an exchange that brought no line, before the
    // worker decides whether to end. Set it before `Init`; null (the default) calls nothing.
    // BeforeWrite: a batch was taken and is about to be written (no lock
    // held): a hook that waits there stands for a slow disk.
    enum class WorkerPoint { StopFlagRead, EmptyExchange, BeforeWrite };
    using WorkerHook = void (*)(void* context, WorkerPoint point);
    void SetWorkerHookForTesting(WorkerHook hook, void* context) {
        Hook = hook;
        HookContext = context;
    }
    bool IsStopRequested() const { return StopRequested != 0; }

  private:
    // The worker thread: its entry, and its loop of exchange and write.
    static uint32_t ThreadProc(void* parameter);
    int WorkerMain();

    int WriteMessage(char* message, size_t limit, const char* format, va_list args);
    // Without a worker: writes what is queued on the caller's thread.
    void WriteOnCallersThread();
    // Waits, with the queue lock held, until the worker has taken the queue
    // (or has ended, or the log stopped).
    void WaitForRoom();
    // Says once on standard error that `lost` lines (0: any) of the log
    // could not be written.
    void ReportUnwritten(uint64_t lost);
    // The text of that line, without a line break.
    std::string UnwrittenText(uint64_t lost) const;
    // Writes the held-back lines (after the line that counts the lost ones)
    // and then the batch to the open `LogFile`, and closes it. The lines
    // handed to the file count as written when no write and not the close
    // failed; else they are added to `*failed`.
    void WriteHeldAndBatch(LineQueue* held, uint64_t* lost, const LineQueue& batch,
                           uint64_t* failed);

    std::atomic<int32_t> StopRequested;
    std::FILE* LogFile;               // open only while the worker writes a batch
    platform::LogSwitch SwitchEvent;  // named, machine-wide; set = logging on
    platform::Event WakeEvent;        // manual reset; set after every queued line
    platform::Event RoomEvent;        // manual reset; set after every exchange
    platform::Thread WorkerThread;
    PathString LogPath;
    platform::ReentrantLock QueueLock;  // guards PendingLines and the reset of WakeEvent
    LineQueue PendingLines;
    std::atomic<int32_t> Enabled;  // 1 from Init until Stop
    // No worker: Write writes the file itself, under the queue lock.
    std::atomic<bool> OnCallersThread;
    std::atomic<bool> WorkerEnded;
    bool HaveSwitch = false;          // without one, logging stays on
    std::atomic<bool> Reported;       // standard error was told
    uint64_t UnwrittenAtStop = 0;     // lines the worker gave up
    uint64_t UnwrittenForCaller = 0;  // kept by a stop that reports to its caller
    std::atomic<uint64_t> Written{0};
    // The stamp text of the last second logged, and who is using it: a
    // caller that finds it in use builds its stamp without it.
    TimestampText Stamp;
    std::atomic<bool> StampBusy;
    WorkerHook Hook = nullptr;
    void* HookContext = nullptr;
};

extern Logger g_Logger;
