// The logging switch, changed from another process with zqlogswitch.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "log/logger.h"
#include "platform/process_id.h"
#include "support/log_capture.h"

namespace {

// Runs zqlogswitch for `process_id` as a child process; true when it
// reported success.
bool RunLogSwitch(uint32_t process_id, const char* state) {
    const std::string tool = std::filesystem::path(ZQ_LOGSWITCH_PATH).make_preferred().string();
    const std::string command = tool + " " + std::to_string(process_id) + " " + state;
    return std::system(command.c_str()) == 0;
}

TEST(LoggerSwitch, AnotherProcessSuspendsAndResumesLogging) {
    const uint32_t self = platform::CurrentProcessId();
    testsupport::LogCapture capture;
    EXPECT_EQ(g_Logger.Write("before"), 6);

    ASSERT_TRUE(RunLogSwitch(self, "off"));
    EXPECT_EQ(g_Logger.Write("while off %d", 1), 0);
    EXPECT_EQ(g_Logger.Write("while off %d", 2), 0);

    ASSERT_TRUE(RunLogSwitch(self, "on"));
    EXPECT_EQ(g_Logger.Write("after"), 5);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"before", "after"}));
}

TEST(LoggerSwitch, AStartFindingTheSwitchResetKeepsItReset) {
    const uint32_t self = platform::CurrentProcessId();
    {
        testsupport::LogCapture first;  // makes sure the switch exists
    }
    ASSERT_TRUE(RunLogSwitch(self, "off"));
    testsupport::LogCapture capture;  // opens the existing switch
    EXPECT_EQ(g_Logger.Write("dropped"), 0);
    ASSERT_TRUE(RunLogSwitch(self, "on"));
    EXPECT_EQ(g_Logger.Write("kept"), 4);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"kept"});
}

TEST(LoggerSwitch, ToolFailsForAProcessWithoutSwitch) {
    // Process ids are multiples of 4 on Windows and at most 2^22 on Linux.
    EXPECT_FALSE(RunLogSwitch(0xFFFFFFF1u, "off"));
}

}  // namespace
