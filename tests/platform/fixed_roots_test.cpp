// The fixed-drive roots on every backend: a list whose roots never end in a
// separator and never repeat, and a failed query reported as its step and
// code with nothing added.
#include "platform/fixed_roots.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/fault_seam.h"

namespace {

using platform::RootListStep;
using RootListResult = platform::StepResult<RootListStep>;

TEST(FixedRootsTest, RootsEndWithoutASeparatorAndAppearOnce) {
    std::vector<PathString> roots = {ZQ_T("kept")};
    const RootListResult listed = platform::ListFixedRoots(&roots);
    ASSERT_EQ(RootListStep::None, listed.step);
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(ZQ_T("kept"), roots.front()) << "the roots are appended";
    const std::set<PathString> distinct(roots.begin(), roots.end());
    EXPECT_EQ(roots.size(), distinct.size());
    for (const PathString& root : roots) {
        EXPECT_TRUE(root.empty() || root.back() != ZQ_PATH_SEP);
    }
}

TEST(FixedRootsTest, AFailedFirstQueryIsItsStepAndCodeAndAddsNothing) {
    platform::fault::Rule rule;
    rule.op = platform::fault::Op::DriveStrings;
    rule.code = 0x15;
    platform::fault::Scoped fault(rule);
    std::vector<PathString> roots;
    const RootListResult listed = platform::ListFixedRoots(&roots);
    EXPECT_EQ(RootListStep::SizeQuery, listed.step);
    EXPECT_EQ(0x15u, listed.code);
    EXPECT_TRUE(roots.empty());
    // The operator is told what could not be read, with the same code.
    const std::string reason = platform::NoRootsReason(listed);
    EXPECT_NE(std::string::npos, reason.find(" could not be read (error 21)")) << reason;
}

}  // namespace
