#include "log/logger.h"

#include <cstdarg>
#include <cstring>
#include <utility>

#include "platform/file_ops.h"
#include "platform/local_time.h"
#include "platform/process_id.h"
#include "platform/text_format.h"

// The one log of the process, constructed during static initialisation.
Logger g_Logger;

namespace {

constexpr size_t kMessageBufferSize = 500;  // at most 499 bytes of message
constexpr size_t kStampBufferSize = 50;

}  // namespace

Logger::Logger() : StopRequested(0), LogFile(nullptr), Enabled(0) {}

Logger::~Logger() {
    Stop();
    PendingLines.clear();
}

int Logger::Init(const PathChar* path) {
    LogPath = path != nullptr ? path : PathString();
    RotateLogFile();
    if (!QueueLock.IsInitialised()) {
        QueueLock.Init();
    }
    // Only a restart finds something here: the lines a run could not write.
    QueueLock.Enter();
    PendingLines.clear();
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

    char message[kMessageBufferSize] = {0};
    va_list args;
    va_start(args, format);
    const int result = platform::FormatLimited(message, kMessageBufferSize - 1, format, args);
    va_end(args);

    const platform::LocalTime now = platform::CurrentLocalTime();
    char stamp[kStampBufferSize] = {0};
    const int stamp_length =
        std::snprintf(stamp, sizeof(stamp), "%d-%d-%d %02d:%02d:%02d %03d  ", now.year, now.month,
                      now.day, now.hour, now.minute, now.second, now.millisecond);
    if (stamp_length < 0) {
        stamp[0] = '\0';
    }

    std::string line;
    const size_t message_length = std::strlen(message);
    const size_t stamp_size = std::strlen(stamp);
    line.reserve(stamp_size + message_length);
    line.append(stamp, stamp_size).append(message, message_length);

    QueueLock.Enter();
    PendingLines.push_back(std::move(line));
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
    std::list<std::string> batch;
    std::string current;
    if (!WakeEvent.Wait()) {
        return 0;
    }
    for (;;) {
        QueueLock.Enter();
        PendingLines.swap(batch);
        WakeEvent.Reset();
        QueueLock.Leave();

        if (batch.empty()) {
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
        }
        if (LogFile == nullptr) {
            // The file cannot be opened now. The lines go back to the front
            // of the queue in their order, ahead of any queued since, and the
            // next try waits for the next line or the stop; a stop gives
            // them up.
            QueueLock.Enter();
            PendingLines.splice(PendingLines.begin(), batch);
            QueueLock.Leave();
            if (StopRequested) {
                break;
            }
            if (!WakeEvent.Wait()) {
                break;
            }
            continue;
        }

        while (!batch.empty()) {
            current = std::move(batch.front());
            batch.pop_front();
            std::fwrite(current.data(), 1, current.size(), LogFile);
            std::fwrite("\r\n", 1, 2, LogFile);
        }
        std::fclose(LogFile);
        LogFile = nullptr;
    }
    batch.clear();
    return 0;
}
