// The log's start, its formatting of lines on the caller's thread, its worker and its stop.
#include "log/logger.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

#include "platform/file_ops.h"
#include "platform/local_time.h"
#include "platform/path_text.h"
#include "platform/process_id.h"
#include "platform/test_hooks.h"
#include "platform/text_format.h"

// The one log of the process, constructed during static initialisation.
Logger g_Logger;

namespace {

constexpr size_t kMessageBufferSize = 500;  // at most 499 bytes of message
constexpr size_t kStreamBufferSize = 64 * 1024;
// After a batch the worker lets lines gather this long before it takes the
// queue again: a scan queues lines faster than one at a time, and each batch
// costs an open and a close of the file. Writers never wait for it, and a
// stop cuts the pause short by at most this much.
constexpr uint32_t kBatchGatherMilliseconds = 2;

}  // namespace

Logger::Logger()
    : StopRequested(0),
      LogFile(nullptr),
      Enabled(0),
      OnCallersThread(false),
      WorkerEnded(false),
      Reported(false),
      StampBusy(false) {}

Logger::~Logger() {
    Stop();
    PendingLines.Clear();
}

int Logger::Init(const PathChar* path) {
    LogPath = path != nullptr ? path : PathString();
    RotateLogFile();
    if (!QueueLock.IsInitialised()) {
        QueueLock.Init();
    }
    // Only a restart finds something here: the lines a run could not write.
    QueueLock.Enter();
    PendingLines.Clear();
    QueueLock.Leave();
    StopRequested = 0;
    WorkerEnded = false;
    OnCallersThread = false;
    Reported = false;
    UnwrittenAtStop = 0;
    UnwrittenForCaller = 0;
    Written = 0;
    if (LogPath.empty()) {
        ReportUnwritten(0);
    }

    HaveSwitch = SwitchEvent.CreateOrOpen(platform::CurrentProcessId());
    if (WakeEvent.CreateManualReset() && RoomEvent.CreateManualReset() &&
        WorkerThread.Start(&Logger::ThreadProc, this)) {
        Enabled = 1;
        return 1;
    }
    // No worker: every line is written as it comes, on its caller's thread.
    WakeEvent.Close();
    RoomEvent.Close();
    OnCallersThread = true;
    Enabled = 1;
    return 0;
}

int Logger::Write(const char* format, ...) {
    // Holds the text as a zeroed buffer would (the formatter's contract).
    char message[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    const int result = WriteMessage(message, kMessageBufferSize - 1, format, args);
    va_end(args);
    return result;
}

int Logger::WritePath(const char* format, ...) {
    char message[kPathMessageLimit + 1];
    va_list args;
    va_start(args, format);
    const int result = WriteMessage(message, kPathMessageLimit, format, args);
    va_end(args);
    return result;
}

int Logger::WriteMessage(char* message, size_t limit, const char* format, va_list args) {
    if (!Enabled) {
        return 0;
    }
    if (HaveSwitch && !SwitchEvent.IsSet()) {
        return 0;
    }
    const int result = platform::FormatLimited(message, limit, format, args);

    const platform::ClockReading now = platform::ReadClock();
    char stamp[TimestampText::kMaxLength];
    size_t stamp_size;
    if (!StampBusy.exchange(true, std::memory_order_acquire)) {
        stamp_size = Stamp.Format(now, stamp);
        StampBusy.store(false, std::memory_order_release);
    } else {
        // Another thread is stamping its line: stamp this one afresh.
        TimestampText own;
        stamp_size = own.Format(now, stamp);
    }
    const size_t message_size = std::strlen(message);

    QueueLock.Enter();
    const bool on_callers_thread = OnCallersThread;
    if (!on_callers_thread && PendingLines.Bytes() >= kPendingLimit) {
        WaitForRoom();
    }
    const bool queued = PendingLines.Append(stamp, stamp_size, message, message_size);
    if (queued && on_callers_thread) {
        WriteOnCallersThread();
    }
    QueueLock.Leave();
    if (!queued) {
        return 0;  // no memory for the line: it is dropped, the caller goes on
    }
    if (!on_callers_thread) {
        WakeEvent.Set();
    }
    return result;
}

void Logger::WaitForRoom() {
    // The worker takes the whole queue at its next exchange, which sets the
    // event; it is woken here in case it waits for a line. A worker that
    // ended, or a stop, ends the wait: the line is then queued beyond the
    // bound (and the stop drops it).
    while (PendingLines.Bytes() >= kPendingLimit && !WorkerEnded && StopRequested == 0) {
        RoomEvent.Reset();
        QueueLock.Leave();
        WakeEvent.Set();
        RoomEvent.WaitFor(100);
        QueueLock.Enter();
    }
}

void Logger::WriteOnCallersThread() {
    // The file is opened and closed for each line, as the worker does for
    // each batch. Lines that find it unopenable are held within the same
    // bound as the worker's, for the next line's attempt.
    std::FILE* file = platform::OpenAppendStream(LogPath.c_str());
    if (file == nullptr) {
        UnwrittenAtStop += PendingLines.DropOldestBeyond(kHeldBackLimit);
        return;
    }
    LogFile = file;
    LineQueue none;
    WriteHeldAndBatch(&none, &UnwrittenAtStop, PendingLines, &UnwrittenAtStop);
    PendingLines.Clear();
}

std::string Logger::UnwrittenText(uint64_t lost) const {
    if (LogPath.empty()) {
        return "ZQCindervane: no log is kept: the program's folder could not be named";
    }
    return "ZQCindervane: " + std::to_string(lost) + " log lines could not be written to " +
           platform::PathText(LogPath.c_str());
}

void Logger::ReportUnwritten(uint64_t lost) {
    if (Reported.exchange(true)) {
        return;
    }
    const std::string line = UnwrittenText(lost) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::string Logger::UnwrittenLine() {
    const uint64_t lost = UnwrittenForCaller;
    UnwrittenForCaller = 0;
    if (lost == 0 || Reported.exchange(true)) {
        return std::string();
    }
    return UnwrittenText(lost);
}

void Logger::Stop(StopReport report) {
    // The flag and the wake-up are one locked step, as the worker's reset of
    // the event and its read of the flag are: whichever of the two steps
    // comes second sees what the first did, so either the worker reads the
    // flag set or the event is set after its reset, and its wait returns.
    // (Outside the lock, both sides' plain loads could miss the other's
    // store, the stop would skip the event and the worker would wait for
    // ever.)
    const bool have_lock = QueueLock.IsInitialised();
    if (have_lock) {
        QueueLock.Enter();
    }
    Enabled = 0;
    StopRequested = 1;
    if (WakeEvent.IsOpen()) {
        WakeEvent.Set();
    }
    if (RoomEvent.IsOpen()) {
        RoomEvent.Set();
    }
    if (have_lock) {
        QueueLock.Leave();
    }
    if (WorkerThread.IsOpen()) {
        WorkerThread.Wait();
    }
    WakeEvent.Close();
    RoomEvent.Close();
    WorkerThread.Close();
    if (have_lock) {
        QueueLock.Enter();
        if (OnCallersThread) {
            // Lines still held for a file that never opened.
            PendingLines.ForEach([this](const char*, size_t) { ++UnwrittenAtStop; });
            PendingLines.Clear();
        }
        const uint64_t unwritten = UnwrittenAtStop;
        UnwrittenAtStop = 0;
        QueueLock.Leave();
        if (unwritten != 0) {
            if (report == StopReport::ToCaller) {
                UnwrittenForCaller += unwritten;
            } else {
                ReportUnwritten(unwritten);
            }
        }
    }
}

uint32_t Logger::ThreadProc(void* parameter) {
    return static_cast<uint32_t>(static_cast<Logger*>(parameter)->WorkerMain());
}

void Logger::WriteHeldAndBatch(LineQueue* held, uint64_t* lost, const LineQueue& batch,
                               uint64_t* failed) {
    std::FILE* file = LogFile;
    uint64_t lines = 0;
    auto write_line = [file, &lines](const char* text, size_t size) {
        std::fwrite(text, 1, size, file);
        std::fwrite("\r\n", 1, 2, file);
        ++lines;
    };
    if (*lost != 0) {
        char stamp[TimestampText::kMaxLength];
        TimestampText own;
        const size_t stamp_size = own.Format(platform::ReadClock(), stamp);
        char message[kMessageBufferSize];
        std::snprintf(message, sizeof(message),
                      "[%s][%d]Log file could not be opened, lines lost: %lu", "Logger::WorkerMain",
                      150, static_cast<unsigned long>(*lost));
        std::fwrite(stamp, 1, stamp_size, file);
        write_line(message, std::strlen(message));
        *lost = 0;
    }
    held->ForEach(write_line);
    held->Release();
    batch.ForEach(write_line);
    // A full disk shows at the latest when the stream's buffer goes out at
    // the close: those lines are not in the file, whatever was written of
    // them, and they are not written again (a second try could leave half
    // of them twice).
    const bool write_failed = std::ferror(file) != 0;
    const bool close_failed = std::fclose(file) != 0;
    LogFile = nullptr;
    if (write_failed || close_failed) {
        *failed += lines;
    } else {
        Written += lines;
    }
}

int Logger::WorkerMain() {
    LineQueue batch;
    // Lines that an earlier batch could not write for want of an open file,
    // oldest first, kept up to kHeldBackLimit bytes; `lost` counts the older
    // ones dropped to stay within it.
    LineQueue held;
    uint64_t lost = 0;
    // Lines handed to the file by a batch whose write or close failed.
    uint64_t failed_writes = 0;
    // The stream's buffer for a batch: most batches go to the file in one
    // write. Without it the stream buffers on its own.
    std::unique_ptr<char[]> stream_buffer(new (std::nothrow) char[kStreamBufferSize]);
    const bool woken = WakeEvent.Wait();
    while (woken) {
        QueueLock.Enter();
        // One locked step, in this order: reset the wake event, read the
        // stop flag, take the queue. A stop seen here was requested after
        // every line that this exchange takes was queued, so ending on an
        // empty exchange with the flag seen leaves no accepted line behind.
        // A stop not seen here sets the event after the reset, so the wait
        // that follows returns for it.
        WakeEvent.Reset();
        const bool stop_seen = StopRequested != 0;
        if (kTestHooks && Hook != nullptr) {
            Hook(HookContext, WorkerPoint::StopFlagRead);
        }
        PendingLines.Swap(batch);
        RoomEvent.Set();
        QueueLock.Leave();

        if (batch.Empty()) {
            if (kTestHooks && Hook != nullptr) {
                Hook(HookContext, WorkerPoint::EmptyExchange);
            }
            if (stop_seen) {
                break;
            }
            if (!WakeEvent.Wait()) {
                break;
            }
            continue;
        }

        if (LogFile == nullptr) {
            LogFile = platform::OpenAppendStream(LogPath.c_str());
            if (LogFile != nullptr && stream_buffer != nullptr) {
                std::setvbuf(LogFile, stream_buffer.get(), _IOFBF, kStreamBufferSize);
            }
        }
        if (LogFile == nullptr) {
            // The file cannot be opened now. The lines are held, in their
            // order, ahead of any queued since, within a fixed bound (the
            // oldest go first); the next try waits for the next line or the
            // stop, and a stop gives them up.
            lost += held.TakeFrom(batch);
            lost += held.DropOldestBeyond(kHeldBackLimit);
            if (stop_seen) {
                break;
            }
            platform::SleepMilliseconds(kBatchGatherMilliseconds);
            if (!WakeEvent.Wait()) {
                break;
            }
            continue;
        }

        if (kTestHooks && Hook != nullptr) {
            Hook(HookContext, WorkerPoint::BeforeWrite);
        }
        WriteHeldAndBatch(&held, &lost, batch, &failed_writes);
        batch.Clear();
        if (!stop_seen) {
            platform::SleepMilliseconds(kBatchGatherMilliseconds);
        }
    }
    // What could not be written is given up; the stop says so.
    uint64_t given_up = lost + failed_writes;
    auto count = [&given_up](const char*, size_t) { ++given_up; };
    held.ForEach(count);
    batch.ForEach(count);
    batch.Clear();
    held.Release();
    QueueLock.Enter();
    UnwrittenAtStop += given_up;
    WorkerEnded = true;
    RoomEvent.Set();
    QueueLock.Leave();
    return 0;
}
