// Logger::Write, the worker and Logger::Stop, on the process-wide logger.
#include "log/logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/local_time.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using testsupport::LogCapture;

TEST(Logger, ReturnsTheMessageLengthAndCutsAt499Bytes) {
    struct Case {
        size_t length;
        int result;
    };
    const Case cases[] = {{10, 10}, {0, 0}, {498, 498}, {499, 499}, {500, -1}, {600, -1}};
    LogCapture capture;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        std::string message;
        for (size_t i = 0; i < c.length; ++i) {
            message += static_cast<char>('a' + i % 26);
        }
        EXPECT_EQ(g_Logger.Write("%s", message.c_str()), c.result) << "length " << c.length;
        expected.push_back(message.substr(0, 499));
    }
    EXPECT_EQ(capture.Lines(), expected);
}

TEST(Logger, WritesLinesInCallOrderEachWithTimestampAndCrLf) {
    LogCapture capture;
    const platform::LocalTime before = platform::CurrentLocalTime();
    g_Logger.Write("Start...");
    g_Logger.Write("[%s][%d]Call FindFirstFile failed: %d", "ScanFolder", 42, 5);
    g_Logger.Write("%s", "");
    g_Logger.Write("End...");
    const platform::LocalTime after = platform::CurrentLocalTime();
    g_Logger.Stop();

    // The raw bytes: four lines, each timestamp, two spaces, message, CR LF.
    bool whole = false;
    const std::vector<std::string> raw =
        testsupport::SplitCrLfLines(testsupport::ReadText(capture.File()), &whole);
    EXPECT_TRUE(whole);
    ASSERT_EQ(raw.size(), 4u);
    const char* const messages[] = {"Start...", "[ScanFolder][42]Call FindFirstFile failed: 5", "",
                                    "End..."};
    auto as_tuple = [](const platform::LocalTime& t) {
        return std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
    };
    for (size_t i = 0; i < raw.size(); ++i) {
        std::string stamp;
        std::string message;
        ASSERT_TRUE(testsupport::SplitLogLine(raw[i], &stamp, &message)) << raw[i];
        EXPECT_EQ(message, messages[i]);
        // The timestamp is the time of the call, as the local clock gives it.
        platform::LocalTime t{};
        ASSERT_EQ(std::sscanf(stamp.c_str(), "%d-%d-%d %d:%d:%d %d", &t.year, &t.month, &t.day,
                              &t.hour, &t.minute, &t.second, &t.millisecond),
                  7);
        EXPECT_LE(as_tuple(before), as_tuple(t)) << stamp;
        EXPECT_LE(as_tuple(t), as_tuple(after)) << stamp;
    }
    EXPECT_EQ(raw[2].substr(raw[2].size() - 2), "  ") << "an empty message keeps the two spaces";
}

TEST(Logger, PathArgumentIsWrittenNarrow) {
    LogCapture capture;
    const PathString path = ZQ_T("C:\\Tools\\sample.exe");
    g_Logger.Write("[%s][%d]Start Scanning File:" ZQ_PATH_FMT, "ScanFolder", 7, path.c_str());
    EXPECT_EQ(capture.Lines(),
              std::vector<std::string>{"[ScanFolder][7]Start Scanning File:C:\\Tools\\sample.exe"});
}

TEST(Logger, StopWritesEveryAcceptedLineAndLaterWritesAreDropped) {
    constexpr int kLines = 5000;
    LogCapture capture;
    for (int i = 0; i < kLines; ++i) {
        g_Logger.Write("line %d", i);
    }
    const std::vector<std::string> lines = capture.Lines();  // stops the log
    ASSERT_EQ(lines.size(), static_cast<size_t>(kLines));
    for (int i = 0; i < kLines; ++i) {
        ASSERT_EQ(lines[i], "line " + std::to_string(i));
    }

    EXPECT_EQ(g_Logger.Write("after stop"), 0);
    g_Logger.Stop();  // a second stop changes nothing
    EXPECT_EQ(g_Logger.Write("after second stop"), 0);
    EXPECT_EQ(capture.Lines().size(), static_cast<size_t>(kLines));
}

TEST(Logger, DropsLinesBeforeInit) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("ZQCindervane.log");
    Logger logger;
    EXPECT_EQ(logger.Write("before init"), 0);
    ASSERT_EQ(logger.Init(path.c_str()), 1);
    EXPECT_EQ(logger.Write("first"), 5);
    logger.Stop();
    logger.Stop();
    std::vector<std::string> lines = testsupport::SplitCrLfLines(testsupport::ReadText(path));
    ASSERT_EQ(lines.size(), 1u);
    std::string stamp;
    std::string message;
    ASSERT_TRUE(testsupport::SplitLogLine(lines[0], &stamp, &message));
    EXPECT_EQ(message, "first");
}

TEST(Logger, StopReturnsWhenTheFileNeverOpens) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("missing/ZQCindervane.log");
    ASSERT_EQ(g_Logger.Init(path.c_str()), 1);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_GT(g_Logger.Write("lost %d", i), 0);
    }
    g_Logger.Stop();  // returns although nothing could be written
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing"));

    // The lines given up stay lost: the next run writes only its own.
    LogCapture capture;
    g_Logger.Write("next run");
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"next run"});
}

TEST(Logger, LinesHeldBackByAFailedOpenArriveInOrderLater) {
    testsupport::TempDir dir;
    const std::filesystem::path folder = dir.Path() / "later";
    const PathString path = dir.Join("later/ZQCindervane.log");
    ASSERT_EQ(g_Logger.Init(path.c_str()), 1);
    g_Logger.Write("one");
    g_Logger.Write("two");
    // Give the worker time to fail on the missing folder and hold the lines.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::filesystem::create_directory(folder);
    // It tries again at the next line, not by itself in a loop.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(std::filesystem::exists(folder / "ZQCindervane.log"));
    g_Logger.Write("three");
    g_Logger.Stop();

    std::vector<std::string> messages;
    for (const std::string& line :
         testsupport::SplitCrLfLines(testsupport::ReadText(folder / "ZQCindervane.log"))) {
        std::string stamp;
        std::string message;
        ASSERT_TRUE(testsupport::SplitLogLine(line, &stamp, &message)) << line;
        messages.push_back(message);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"one", "two", "three"}));
}

}  // namespace
