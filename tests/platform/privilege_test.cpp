// The privilege service on every backend: a stable answer with no failed
// step where the calls work, and the first call's failure reported as its
// step and code, with the privilege not claimed.
#include "platform/privilege.h"

#include <gtest/gtest.h>

#include "platform/fault_seam.h"

namespace {

using platform::PrivilegeOutcome;
using platform::PrivilegeStep;

TEST(PrivilegeTest, WorkingCallsReportNoFailedStepAndTheSameAnswerTwice) {
    const PrivilegeOutcome first = platform::EnableDebugPrivilege();
    const PrivilegeOutcome second = platform::EnableDebugPrivilege();
    EXPECT_EQ(PrivilegeStep::None, first.failed_step);
    EXPECT_EQ(PrivilegeStep::None, second.failed_step);
    EXPECT_EQ(first.enabled, second.enabled);
}

TEST(PrivilegeTest, AFailedTokenOpenIsItsStepAndCode) {
    platform::fault::Rule rule;
    rule.op = platform::fault::Op::Token;
    rule.code = 0x2A;
    platform::fault::Scoped fault(rule);
    const PrivilegeOutcome outcome = platform::EnableDebugPrivilege();
    EXPECT_TRUE(platform::fault::Fired());
    EXPECT_EQ(PrivilegeStep::OpenToken, outcome.failed_step);
    EXPECT_EQ(0x2Au, outcome.error);
    EXPECT_FALSE(outcome.enabled);
}

}  // namespace
