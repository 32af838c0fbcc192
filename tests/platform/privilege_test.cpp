// The privilege service on every backend: a stable answer with no failed
// step where the calls work, and the first call's failure reported as its
// step and code, with the privilege not claimed.
#include "platform/privilege.h"

#include <gtest/gtest.h>

#include "platform/fault_seam.h"

namespace {

using platform::PrivilegeStep;
using PrivilegeOutcome = platform::StepResult<PrivilegeStep>;

TEST(PrivilegeTest, WorkingCallsReportNoFailedStepAndTheSameAnswerTwice) {
    bool first_enabled = false;
    bool second_enabled = true;
    const PrivilegeOutcome first = platform::EnableDebugPrivilege(&first_enabled);
    const PrivilegeOutcome second = platform::EnableDebugPrivilege(&second_enabled);
    EXPECT_EQ(PrivilegeStep::None, first.step);
    EXPECT_EQ(PrivilegeStep::None, second.step);
    EXPECT_EQ(first_enabled, second_enabled);
}

TEST(PrivilegeTest, AFailedTokenOpenIsItsStepAndCode) {
    platform::fault::Rule rule;
    rule.op = platform::fault::Op::Token;
    rule.code = 0x2A;
    platform::fault::Scoped fault(rule);
    bool enabled = true;
    const PrivilegeOutcome outcome = platform::EnableDebugPrivilege(&enabled);
    EXPECT_TRUE(platform::fault::Fired());
    EXPECT_EQ(PrivilegeStep::OpenToken, outcome.step);
    EXPECT_EQ(0x2Au, outcome.code);
    EXPECT_FALSE(enabled);
}

}  // namespace
