// The process-wide asynchronous log. `Logger::Write` formats a line with its
// local timestamp on the caller's thread and queues it; a worker thread
// appends the queued lines to the log file in batches, so a caller never
// waits for the disk. The one instance is `g_Logger`.
//
// Line layout: "<year>-<month>-<day> HH:MM:SS mmm  <message>" and CR LF
// (month and day unpadded, at most 499 bytes of message).
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
    // lock, and starts the worker. 1 started, 0 failed (logging stays off).
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

    // Stops accepting lines, waits until the worker has written every line
    // accepted before (as long as the file can be opened) and has ended,
    // and releases the worker's handles. A second call does nothing more.
    // Never called on the worker thread.
    void Stop();

    // Moves a log file of 524288 bytes or more to the backup (the path with
    // "0" appended), replacing the old backup. Always 1.
    int RotateLogFile();

    static uint32_t ThreadProc(void* parameter);
    int WorkerMain();

  private:
    std::atomic<int32_t> StopRequested;
    std::FILE* LogFile;               // open only while the worker writes a batch
    platform::LogSwitch SwitchEvent;  // named, machine-wide; set = logging on
    platform::Event WakeEvent;        // manual reset; set after every queued line
    platform::Thread WorkerThread;
    PathString LogPath;
    platform::ReentrantLock QueueLock;  // guards PendingLines and the reset of WakeEvent
    LineQueue PendingLines;
    std::atomic<int32_t> Enabled;  // 1 from a successful Init until Stop
    // The stamp text of the last second logged, and who is using it: a
    // caller that finds it in use builds its stamp without it.
    TimestampText Stamp;
    std::atomic<bool> StampBusy;
};

extern Logger g_Logger;
