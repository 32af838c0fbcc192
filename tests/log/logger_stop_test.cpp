// What the worker must never lose: the lines accepted right before a stop,
// and the memory bound while the log file cannot be opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "log/line_queue.h"
#include "log/logger.h"
#include "platform/fault_seam.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using testsupport::LogCapture;

// Holds the worker the first time it reaches `point` until a stop has been
// requested.
struct HoldWorker {
    Logger* logger = nullptr;
    Logger::WorkerPoint point = Logger::WorkerPoint::EmptyExchange;
    int skip = 0;  // passes of `point` let through before the one held
    std::atomic<bool> armed{true};
    std::atomic<bool> holding{false};

    static void Hook(void* context, Logger::WorkerPoint point) {
        auto* self = static_cast<HoldWorker*>(context);
        if (point != self->point || (self->skip > 0 && self->skip-- > 0) ||
            !self->armed.exchange(false)) {
            return;
        }
        self->holding = true;
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!self->logger->IsStopRequested() && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

bool WaitFor(const std::atomic<bool>& flag) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!flag && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return flag;
}

std::vector<std::string> Messages(const std::filesystem::path& file) {
    std::vector<std::string> messages;
    for (const std::string& line : testsupport::SplitCrLfLines(testsupport::ReadText(file))) {
        std::string stamp;
        std::string message;
        EXPECT_TRUE(testsupport::SplitLogLine(line, &stamp, &message)) << line;
        messages.push_back(message);
    }
    return messages;
}

// The worker has just found the queue empty when the last lines are queued
// and the stop is requested: those lines are written all the same.
TEST(LoggerStop, LinesQueuedWhileTheWorkerDecidesToEndAreWritten) {
    HoldWorker hold;
    hold.logger = &g_Logger;
    g_Logger.SetWorkerHookForTesting(&HoldWorker::Hook, &hold);
    std::vector<std::string> lines;
    {
        LogCapture capture;
        g_Logger.Write("first");
        ASSERT_TRUE(WaitFor(hold.holding)) << "the worker never found the queue empty";
        g_Logger.Write("[%s][%d]Path:%s, Result:%d", "ScanFolder", 334, "/last.exe", 2);
        g_Logger.Write("End...");
        lines = capture.Lines();  // stops while the worker is held
    }
    g_Logger.SetWorkerHookForTesting(nullptr, nullptr);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "[ScanFolder][334]Path:/last.exe, Result:2",
                                               "End..."}));
}

// The stop arrives while the worker has read the stop flag (not yet set) and
// not yet taken the (empty) queue: the stop's wake-up is not lost, the
// worker ends and the stop returns.
TEST(LoggerStop, AStopRightAfterTheWorkerReadTheFlagEndsTheWorker) {
    HoldWorker hold;
    hold.logger = &g_Logger;
    hold.point = Logger::WorkerPoint::StopFlagRead;
    hold.skip = 1;  // the exchange that takes "first"; the next one finds nothing
    g_Logger.SetWorkerHookForTesting(&HoldWorker::Hook, &hold);
    std::vector<std::string> lines;
    {
        LogCapture capture;
        g_Logger.Write("first");
        ASSERT_TRUE(WaitFor(hold.holding)) << "the worker never reached the exchange";
        lines = capture.Lines();  // stops while the worker is held
    }
    g_Logger.SetWorkerHookForTesting(nullptr, nullptr);
    EXPECT_EQ(lines, std::vector<std::string>{"first"});
}

// A log path that names a folder never opens: the lines held for a later
// open stay within the bound, and the caller never waits or fails.
TEST(LoggerStop, UnwritableLogKeepsMemoryBounded) {
    testsupport::TempDir dir;
    const PathString folder = dir.Join("ZQCindervane.log");
    std::filesystem::create_directory(dir.Path() / "ZQCindervane.log");
    const size_t before = LineQueue::BlockBytes();
    LineQueue::ResetPeakBlockBytes();
    ASSERT_EQ(g_Logger.Init(folder.c_str()), 1);
    constexpr int kLines = 200000;
    for (int i = 0; i < kLines; ++i) {
        ASSERT_GT(g_Logger.Write("[%s][%d]Start Scanning File:/data/folder/file-%06d.exe",
                                 "ScanFolder", 309, i),
                  0);
        if (i % 1000 == 999) {
            // Lets a worker that shares a busy processor take the queue: the
            // bound is on what is held back, not on a queue never taken.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(g_Logger.Write("End..."), 6);
    g_Logger.Stop();
    const size_t peak = LineQueue::PeakBlockBytes() - before;
    // The held-back lines plus a few blocks in flight; without the bound
    // these lines would take some 12 MB, or a block per retry.
    constexpr size_t kBound = Logger::kHeldBackLimit + 4 * 1024 * 1024;
    EXPECT_LE(peak, kBound) << "peak " << peak << " bytes of queue blocks";
    std::printf("peak queue memory with an unwritable log: %zu KiB (bound %zu KiB)\n", peak / 1024,
                kBound / 1024);
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "ZQCindervane.log"));
}

// Past the bound the oldest lines go; once the file opens, one line says how
// many were lost and the newest lines follow whole and in order.
TEST(LoggerStop, LostLinesAreCountedWhenTheFileOpensAgain) {
    testsupport::TempDir dir;
    const std::filesystem::path folder = dir.Path() / "later";
    const PathString path = dir.Join("later/ZQCindervane.log");
    ASSERT_EQ(g_Logger.Init(path.c_str()), 1);
    const std::string padding(300, 'x');
    constexpr int kLines = 20000;  // about 6 MB, more than is held back
    for (int i = 0; i < kLines; ++i) {
        g_Logger.Write("%06d %s", i, padding.c_str());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::filesystem::create_directory(folder);
    g_Logger.Write("last");
    g_Logger.Stop();

    const std::vector<std::string> messages = Messages(folder / "ZQCindervane.log");
    ASSERT_GE(messages.size(), 3u);
    const std::string prefix =
        "[Logger::WorkerMain][150]Log file could not be opened, lines lost: ";
    ASSERT_EQ(messages.front().compare(0, prefix.size(), prefix), 0) << messages.front();
    const int lost = std::stoi(messages.front().substr(prefix.size()));
    EXPECT_GT(lost, 0);
    ASSERT_EQ(messages.size(), static_cast<size_t>(kLines - lost) + 2);
    for (int i = lost; i < kLines; ++i) {
        char expected[16];
        std::snprintf(expected, sizeof(expected), "%06d ", i);
        ASSERT_EQ(messages[static_cast<size_t>(i - lost) + 1], expected + padding);
    }
    EXPECT_EQ(messages.back(), "last");
}

// A log slower than the scan: the worker takes its time over every batch.
// The lines it has not taken stay within their bound (writers wait for the
// worker instead), and every line reaches the file, in order.
TEST(LoggerStop, ASlowLogHoldsTheWritersNotTheMemory) {
    struct SlowDisk {
        static void Hook(void*, Logger::WorkerPoint point) {
            if (point == Logger::WorkerPoint::BeforeWrite) {
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            }
        }
    };
    testsupport::TempDir dir;
    const PathString path = dir.Join("ZQCindervane.log");
    g_Logger.SetWorkerHookForTesting(&SlowDisk::Hook, nullptr);
    const size_t before = LineQueue::BlockBytes();
    LineQueue::ResetPeakBlockBytes();
    ASSERT_EQ(g_Logger.Init(path.c_str()), 1);
    // About 25 MB of lines, three times the bound.
    const std::string padding(100, 'p');
    constexpr int kLines = 200000;
    for (int i = 0; i < kLines; ++i) {
        ASSERT_GT(g_Logger.Write("%07d %s", i, padding.c_str()), 0);
    }
    g_Logger.Stop();
    g_Logger.SetWorkerHookForTesting(nullptr, nullptr);
    const size_t peak = LineQueue::PeakBlockBytes() - before;
    // The queue the writers fill and the batch the worker writes, each
    // within the bound and a block or two.
    constexpr size_t kBound = 2 * Logger::kPendingLimit + 1024 * 1024;
    EXPECT_LE(peak, kBound) << "peak " << peak << " bytes of queue blocks";
    const std::vector<std::string> messages = Messages(dir.Path() / "ZQCindervane.log");
    ASSERT_EQ(messages.size(), static_cast<size_t>(kLines));
    for (int i = 0; i < kLines; i += 997) {
        char expected[16];
        std::snprintf(expected, sizeof(expected), "%07d ", i);
        ASSERT_EQ(messages[static_cast<size_t>(i)], expected + padding);
    }
}

// Without a worker thread the callers write the log themselves: the run is
// logged all the same, line by line and in order.
TEST(LoggerStop, WithoutAWorkerTheCallersWriteTheLog) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("ZQCindervane.log");
    {
        platform::fault::Rule no_thread;
        no_thread.op = platform::fault::Op::ThreadStart;
        platform::fault::Scoped armed(no_thread);
        EXPECT_EQ(g_Logger.Init(path.c_str()), 0);
        EXPECT_TRUE(platform::fault::Fired());
    }
    for (int i = 0; i < 100; ++i) {
        EXPECT_GT(g_Logger.Write("line %d", i), 0);
    }
    // Each line is in the file as soon as it was written.
    EXPECT_EQ(Messages(dir.Path() / "ZQCindervane.log").size(), 100u);
    g_Logger.Write("End...");
    g_Logger.Stop();
    const std::vector<std::string> messages = Messages(dir.Path() / "ZQCindervane.log");
    ASSERT_EQ(messages.size(), 101u);
    EXPECT_EQ(messages[42], "line 42");
    EXPECT_EQ(messages.back(), "End...");
}

// A log that can be kept nowhere is said once on standard error, with or
// without a worker.
TEST(LoggerStop, ALogKeptNowhereIsSaidOnceOnStandardError) {
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir.Path() / "ZQCindervane.log");
    const PathString folder = dir.Join("ZQCindervane.log");
    for (bool worker : {true, false}) {
        SCOPED_TRACE(worker ? "worker" : "no worker");
        ::testing::internal::CaptureStderr();
        {
            platform::fault::Rule no_thread;
            no_thread.op = platform::fault::Op::ThreadStart;
            no_thread.nth = worker ? 1000 : 1;
            platform::fault::Scoped armed(no_thread);
            EXPECT_EQ(g_Logger.Init(folder.c_str()), worker ? 1 : 0);
        }
        for (int i = 0; i < 50; ++i) {
            g_Logger.Write("line %d", i);
        }
        g_Logger.Stop();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("50 log lines could not be written"), std::string::npos) << err;
    }
}

}  // namespace
