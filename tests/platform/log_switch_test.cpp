// The logging switch on every backend: made set, reset and set again from
// outside by its process id, found again with its state, and gone once
// removed.
#include "platform/log_switch.h"

#include <gtest/gtest.h>

#include "support/os_codes.h"

namespace {

using platform::LogSwitch;

// A process id no process of this test has: only the switch's name holds it
// (a multiple of 4, as Windows' ids are).
constexpr uint32_t kId = 0x7FFFFF00u;

TEST(LogSwitchTest, SetFromOutsideAndFoundAgainWithItsState) {
    LogSwitch own;
    ASSERT_TRUE(own.CreateOrOpen(kId));
    EXPECT_TRUE(own.IsOpen());
    EXPECT_TRUE(own.IsSet()) << "a new switch is set";

    ASSERT_TRUE(platform::SetLogSwitch(kId, false).Succeeded());
    EXPECT_FALSE(own.IsSet());
    {
        LogSwitch again;
        ASSERT_TRUE(again.CreateOrOpen(kId));
        EXPECT_FALSE(again.IsSet()) << "an existing switch keeps its state";
        again.Close();
        EXPECT_FALSE(again.IsOpen());
        EXPECT_FALSE(again.IsSet());
    }
    ASSERT_TRUE(platform::SetLogSwitch(kId, true).Succeeded());
    EXPECT_TRUE(own.IsSet());

    own.Remove();
    EXPECT_FALSE(own.IsOpen());
    const platform::StepResult<platform::LogSwitchStep> gone = platform::SetLogSwitch(kId, false);
    EXPECT_EQ(platform::LogSwitchStep::Open, gone.step);
    EXPECT_EQ(testsupport::kErrFileNotFound, gone.code);
}

}  // namespace
