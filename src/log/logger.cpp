#include "log/logger.h"

#include <cstdarg>
#include <cstring>
#include <vector>

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
    if (!Enabled) {
        return 0;
    }
    if (!SwitchEvent.IsSet()) {
        return 0;
    }

    // Holds the text as a zeroed buffer would (the formatter's contract).
    char message[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    const int result = platform::FormatLimited(message, kMessageBufferSize - 1, format, args);
    va_end(args);

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
    PendingLines.Append(stamp, stamp_size, message, message_size);
    QueueLock.Leave();
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

int Logger::WorkerMain() {
    LineQueue batch;
    // The stream's buffer for a batch: most batches go to the file in one
    // write.
    std::vector<char> stream_buffer(kStreamBufferSize);
    if (!WakeEvent.Wait()) {
        return 0;
    }
    for (;;) {
        QueueLock.Enter();
        PendingLines.Swap(batch);
        WakeEvent.Reset();
        QueueLock.Leave();

        if (batch.Empty()) {
            if (StopRequested) {
                break;
            }
            if (!WakeEvent.Wait()) {
                break;
            }
            continue;
        }

        if (LogFile == nullptr) {
            LogFile = platform::OpenAppendStream(LogPath.c_str());
            if (LogFile != nullptr) {
                std::setvbuf(LogFile, stream_buffer.data(), _IOFBF, stream_buffer.size());
            }
        }
        if (LogFile == nullptr) {
            // The file cannot be opened now. The lines go back to the front
            // of the queue in their order, ahead of any queued since, and the
            // next try waits for the next line or the stop; a stop gives
            // them up.
            QueueLock.Enter();
            PendingLines.PrependFrom(batch);
            QueueLock.Leave();
            if (StopRequested) {
                break;
            }
            if (!WakeEvent.Wait()) {
                break;
            }
            continue;
        }

        std::FILE* file = LogFile;
        batch.ForEach([file](const char* text, size_t size) {
            std::fwrite(text, 1, size, file);
            std::fwrite("\r\n", 1, 2, file);
        });
        batch.Clear();
        std::fclose(LogFile);
        LogFile = nullptr;
        if (!StopRequested) {
            platform::SleepMilliseconds(kBatchGatherMilliseconds);
        }
    }
    batch.Clear();
    return 0;
}
