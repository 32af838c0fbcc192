// Interrupts: the handler only records the interrupt; the walk ends between
// two files; the end of an interrupted run writes its last lines and ends
// the process as the platform ends it for that interrupt.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/scan_main.h"
#include "log/logger.h"
#include "interrupt_exit.h"
#include "platform/fault_seam.h"
#include "platform/interrupt.h"
#include "platform/monotonic_clock.h"
#include "platform/module_path.h"
#include "platform/thread.h"
#include "sample_builder/sample_builder.h"
#include "scan/scan_folder.h"
#include "scan/scan_folder_seam.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using testsupport::kWindows;
constexpr uint32_t kCtrlC = 0;      // CTRL_C_EVENT
constexpr uint32_t kCtrlBreak = 1;  // CTRL_BREAK_EVENT
constexpr uint32_t kClose = 2;      // CTRL_CLOSE_EVENT
constexpr uint32_t kLogoff = 5;     // CTRL_LOGOFF_EVENT

// Delivers the platform's usual interrupt to this process, as the system
// would: Ctrl+C on Windows, SIGINT on POSIX.
void Interrupt() {
    if constexpr (kWindows) {
        EXPECT_TRUE(platform::RunConsoleEventHandler(kCtrlC));
    } else {
        std::raise(SIGINT);
    }
}

class InterruptTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::WatchInterrupts(); }
    void TearDown() override {
        platform::StopWatchingInterrupts();
        platform::ForgetInterrupt();
    }
};

TEST_F(InterruptTest, AnInterruptIsRecordedAndNamed) {
    EXPECT_FALSE(platform::InterruptRequested());
    EXPECT_STREQ(platform::InterruptName(), "");
    Interrupt();
    EXPECT_TRUE(platform::InterruptRequested());
    EXPECT_STREQ(platform::InterruptName(), kWindows ? "Ctrl+C" : "SIGINT");
    // A second interrupt does not replace the first.
    if constexpr (kWindows) {
        EXPECT_TRUE(platform::RunConsoleEventHandler(kCtrlBreak));
    } else {
        std::raise(SIGTERM);
    }
    EXPECT_STREQ(platform::InterruptName(), kWindows ? "Ctrl+C" : "SIGINT");
    // Ending without an interrupt returns.
    platform::ForgetInterrupt();
    platform::EndAsInterrupted();
}

TEST_F(InterruptTest, TheWalkEndsBeforeTheNextFile) {
    testsupport::TempDir dir;
    for (const char* name : {"a.exe", "b.exe", "sub/c.exe"}) {
        testsupport::WriteFile(dir.Path() / name, sample::BuildPe(1024));
    }
    Interrupt();
    testsupport::LogCapture log;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(ScanFolder(dir.Path().native().c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{});

    // Nor does the drive walk announce another root.
    testsupport::LogCapture roots_log;
    ScanRoots({dir.Path().native(), dir.Path().native()});
    EXPECT_EQ(roots_log.Lines(), std::vector<std::string>{});
}

// An interrupt that arrives while a reader is held by a slow open (a failing
// disk retrying a sector) ends the walk at once: nobody waits for a read
// whose file will never be reported, and no file after the interrupt gets a
// result.
TEST_F(InterruptTest, TheWalkEndsWithoutWaitingForASlowRead) {
    testsupport::TempDir dir;
    for (int i = 0; i < 40; ++i) {
        testsupport::WriteFile(dir.Path() / ("f" + std::to_string(i) + ".exe"),
                               sample::BuildPe(1024, {false, false, static_cast<uint32_t>(i)}));
    }
    constexpr uint32_t kSlowOpenMs = 6000;
    for (uint32_t nth : {1u, 5u}) {
        SCOPED_TRACE("the interrupt at open " + std::to_string(nth));
        platform::ForgetInterrupt();
        std::atomic<uint32_t> interrupted_at{0};
        platform::fault::Rule slow;
        slow.op = platform::fault::Op::Open;
        slow.nth = nth;
        slow.effect = platform::fault::Effect::None;
        slow.before = [&interrupted_at] {
            interrupted_at = platform::MonotonicMilliseconds();
            Interrupt();
            platform::SleepMilliseconds(kSlowOpenMs);
        };
        testsupport::LogCapture log;
        ::testing::internal::CaptureStdout();
        uint32_t returned_at = 0;
        {
            platform::fault::Scoped armed(slow);
            EXPECT_TRUE(ScanFolder(dir.Path().native().c_str()));
            returned_at = platform::MonotonicMilliseconds();
        }
        const std::string console = ::testing::internal::GetCapturedStdout();
        ASSERT_NE(interrupted_at.load(), 0u) << "the slow open was never reached";
        // Far less than the open takes: the walk did not wait for it.
        EXPECT_LT(returned_at - interrupted_at.load(), kSlowOpenMs / 3);
        const size_t results =
            static_cast<size_t>(std::count(console.begin(), console.end(), '\n'));
        EXPECT_LT(results, nth) << console;
        // Every file that printed a result has both its log lines, and the
        // log ends with the last of them.
        const std::vector<std::string> lines = log.Lines();
        size_t started = 0;
        size_t logged = 0;
        for (const std::string& line : lines) {
            started += line.rfind("[ScanFolder][309]", 0) == 0 ? 1 : 0;
            logged += line.rfind("[ScanFolder][334]", 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(started, results);
        EXPECT_EQ(logged, results);
    }
}

// An interrupt that arrives while entries are queued and already read ahead
// (raised on a reader at the open of the last file, when the walk has
// listed every file and the readers have examined them) ends the walk
// before the next entry: at most the file in hand gets its result.
TEST_F(InterruptTest, TheWalkEndsBeforeTheNextQueuedEntry) {
    constexpr uint32_t kFiles = 40;
    testsupport::TempDir dir;
    for (uint32_t i = 0; i < kFiles; ++i) {
        testsupport::WriteFile(dir.Path() / ("f" + std::to_string(i) + ".exe"),
                               sample::BuildPe(1024, {false, false, i}));
    }
    platform::fault::Rule last_open;
    last_open.op = platform::fault::Op::Open;
    last_open.nth = kFiles;  // each file is opened once, by a reader
    last_open.effect = platform::fault::Effect::None;
    last_open.before = [] { Interrupt(); };
    testsupport::LogCapture log;
    ::testing::internal::CaptureStdout();
    {
        platform::fault::Scoped armed(last_open);
        EXPECT_TRUE(scan_seam::ScanFolderReadingAheadFirstForTesting(dir.Path().native().c_str(),
                                                                     InfectionSignatures));
        EXPECT_TRUE(platform::fault::Fired());
    }
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_LE(std::count(console.begin(), console.end(), '\n'), 1) << console;
}

// The console's close: the system ends the process when the handler
// returns, so the handler waits for the end of the log, but not for ever.
TEST_F(InterruptTest, TheCloseHandlerReturnsWhenNothingEndsTheScan) {
    if constexpr (!kWindows) {
        GTEST_SKIP() << "a Windows console event";
    }
    EXPECT_TRUE(platform::RunConsoleEventHandler(kClose));
    EXPECT_STREQ(platform::InterruptName(), "console closed");
}

// A logoff in an interactive session (this one: Wine runs its programs in
// session 1) may be this session's own user's: it ends the run. Session 0
// from Vista on, where it is ignored, is the rule's (logoff_rule_test).
TEST_F(InterruptTest, ALogoffInAnInteractiveSessionEndsTheRun) {
    if constexpr (!kWindows) {
        GTEST_SKIP() << "a Windows console event";
    }
    EXPECT_TRUE(platform::RunConsoleEventHandler(kLogoff));
    EXPECT_TRUE(platform::InterruptRequested());
    EXPECT_STREQ(platform::InterruptName(), "logoff");
}

// The log's messages beside this test program, timestamps removed; the file
// is removed.
std::vector<std::string> TakeRunLog(const PathString& log_path) {
    const std::string text = testsupport::ReadText(std::filesystem::path(log_path));
    std::filesystem::remove(log_path);
    std::vector<std::string> messages;
    for (const std::string& line : testsupport::SplitCrLfLines(text)) {
        std::string stamp;
        std::string message;
        messages.push_back(testsupport::SplitLogLine(line, &stamp, &message) ? message : line);
    }
    return messages;
}

// The end of an interrupted run, in a child process: the interrupt's line
// and the summary are written, never "End..." (the mark of a run that
// scanned its last root), and the process ends as the interrupt ends it.
TEST(InterruptDeathTest, AnInterruptedRunEndsItsLogAndEndsAsInterrupted) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test program again: the log lies where both find
    // it, beside the program.
    const PathString log_path = platform::PathBesideExecutable(ZQ_T("interrupt_test.log"));
    ASSERT_FALSE(log_path.empty());
    std::filesystem::remove(log_path);
    auto run = [&log_path]() {
        platform::WatchInterrupts();
        g_Logger.Init(log_path.c_str());
        g_Logger.Write("Start...");
        Interrupt();
        ScanRun interrupted;
        interrupted.started = platform::MonotonicMilliseconds();
        interrupted.roots = 1;
        EndInterrupted(interrupted);
    };
    EXPECT_EXIT(run(), EndedByTheUsualInterrupt, "");
    std::vector<std::string> messages = TakeRunLog(log_path);
    const std::string interrupted = std::string("[wmain][443]Scan interrupted (") +
                                    (kWindows ? "Ctrl+C" : "SIGINT") +
                                    "), ending before the next file";
    // The summary line ends the log.
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].rfind("Summary...", 0), 0u) << messages[2];
    EXPECT_NE(messages[2].find(", Roots:1, Seconds:"), std::string::npos) << messages[2];
    messages.pop_back();
    EXPECT_EQ(messages, (std::vector<std::string>{"Start...", interrupted}));
}

// The whole run, interrupted while it walks (and, on POSIX, by a console
// that closed): the walk stops between two files, the run takes its
// interrupted ending (line 443 and the summary, never "End..."), and the
// process ends as that interrupt ends it.
struct InterruptedRun {
    const char* name;
    bool console_closed;  // standard output a pipe whose reader is gone
    const char* interrupt_name;
};

// One interrupted run (a death test of its own: the child runs the test's
// body again up to its EXPECT_EXIT).
void CheckInterruptedRun(const InterruptedRun& c) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testsupport::TempDir dir;
    for (uint32_t i = 0; i < 4; ++i) {
        testsupport::WriteFile(dir.Join("tool" + std::to_string(i) + ".exe"),
                               sample::BuildPe(4096, {false, false, i}));
    }
    const PathString log_path = platform::PathBesideExecutable(ZQ_T("ZQCindervane.log"));
    ASSERT_FALSE(log_path.empty());
    std::filesystem::remove(log_path);
    auto run = [&dir, &c]() {
        ScanRequest request;
        request.named_roots = {dir.Path().native()};
        if (c.console_closed) {
            CloseStandardOutputReader();
            (void)ScanMain(request);
            return;
        }
        platform::fault::Rule rule;
        rule.op = platform::fault::Op::Open;
        rule.nth = 2;
        rule.effect = platform::fault::Effect::None;
        rule.before = [] { Interrupt(); };
        platform::fault::Scoped fault(rule);
        (void)ScanMain(request);
    };
    if (c.console_closed) {
        EXPECT_EXIT(run(), EndedByAClosedConsole, "");
    } else {
        EXPECT_EXIT(run(), EndedByTheUsualInterrupt, "");
    }
    const std::vector<std::string> messages = TakeRunLog(log_path);
    ASSERT_GE(messages.size(), 4u) << ::testing::PrintToString(messages);
    EXPECT_EQ("Start...", messages[0]);
    EXPECT_EQ(0u, messages.back().rfind("Summary...", 0)) << messages.back();
    EXPECT_NE(std::string::npos, messages.back().find(", Roots:1, "));
    EXPECT_EQ(std::string("[wmain][443]Scan interrupted (") + c.interrupt_name +
                  "), ending before the next file",
              messages[messages.size() - 2]);
    EXPECT_EQ(messages.end(), std::find(messages.begin(), messages.end(), "End..."));
    // At most the file under way when the interrupt came was finished.
    EXPECT_LE(
        std::count_if(messages.begin(), messages.end(),
                      [](const std::string& m) { return m.rfind("[ScanFolder][334]", 0) == 0; }),
        1);
}

TEST(InterruptDeathTest, ARunInterruptedInTheWalkTakesTheInterruptedEnding) {
    CheckInterruptedRun({"interrupt in the walk", false, kWindows ? "Ctrl+C" : "SIGINT"});
}

TEST(InterruptDeathTest, ARunWhoseConsoleClosedTakesTheInterruptedEnding) {
    if (kWindows) {
        GTEST_SKIP() << "the Windows program's closed console has its own end-to-end test";
    }
    CheckInterruptedRun({"console closed", true, "console closed"});
}

}  // namespace
