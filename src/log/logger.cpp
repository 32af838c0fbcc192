// The log's start, its formatting of lines on the caller's thread, its worker and its stop.
#include "log/logger.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

#include "platform/file_ops.h"
#include "platform/local_time.h"
#include "platform/process_id.h"
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

Logger::Logger() : StopRequested(0), LogFile(nullptr), Enabled(0), StampBusy(false) {}

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

    const bool have_switch = SwitchEvent.CreateOrOpen(platform::CurrentProcessId());
    const bool have_wake = WakeEvent.CreateManualReset();
    if (!have_switch || !have_wake) {
        return 0;
    }
    if (!WorkerThread.Start(&Logger::ThreadProc, this)) {
        return 0;
    }
    Enabled = 1;
    return 1;
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
    if (!SwitchEvent.IsSet()) {
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
    const bool queued = PendingLines.Append(stamp, stamp_size, message, message_size);
    QueueLock.Leave();
    if (!queued) {
        return 0;  // no memory for the line: it is dropped, the caller goes on
    }
    WakeEvent.Set();
    return result;
}

void Logger::Stop() {
    Enabled = 0;
    StopRequested = 1;
    if (WorkerThread.IsOpen()) {
        if (WakeEvent.IsOpen()) {
            WakeEvent.Set();
        }
        WorkerThread.Wait();
    }
    if (WakeEvent.IsOpen()) {
        WakeEvent.Close();
    }
    if (WorkerThread.IsOpen()) {
        WorkerThread.Close();
    }
}

uint32_t Logger::ThreadProc(void* parameter) {
    return static_cast<uint32_t>(static_cast<Logger*>(parameter)->WorkerMain());
}

void Logger::WriteHeldAndBatch(LineQueue* held, uint64_t* lost, const LineQueue& batch) {
    std::FILE* file = LogFile;
    auto write_line = [file](const char* text, size_t size) {
        std::fwrite(text, 1, size, file);
        std::fwrite("\r\n", 1, 2, file);
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
}

int Logger::WorkerMain() {
    LineQueue batch;
    // Lines that an earlier batch could not write for want of an open file,
    // oldest first, kept up to kHeldBackLimit bytes; `lost` counts the older
    // ones dropped to stay within it.
    LineQueue held;
    uint64_t lost = 0;
    // The stream's buffer for a batch: most batches go to the file in one
    // write. Without it the stream buffers on its own.
    std::unique_ptr<char[]> stream_buffer(new (std::nothrow) char[kStreamBufferSize]);
    if (!WakeEvent.Wait()) {
        return 0;
    }
    for (;;) {
        QueueLock.Enter();
        // One locked step, in this order: reset the wake event, read the
        // stop flag, take the queue. A stop seen here was requested after
        // every line that this exchange takes was queued, so ending on an
        // empty exchange with the flag seen leaves no accepted line behind.
        // A stop not seen here sets the event after the reset, so the wait
        // that follows returns for it.
        WakeEvent.Reset();
        const bool stop_seen = StopRequested != 0;
        if (Hook != nullptr) {
            Hook(HookContext, WorkerPoint::StopFlagRead);
        }
        PendingLines.Swap(batch);
        QueueLock.Leave();

        if (batch.Empty()) {
            if (Hook != nullptr) {
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

        WriteHeldAndBatch(&held, &lost, batch);
        batch.Clear();
        std::fclose(LogFile);
        LogFile = nullptr;
        if (!stop_seen) {
            platform::SleepMilliseconds(kBatchGatherMilliseconds);
        }
    }
    batch.Clear();
    held.Release();
    return 0;
}
