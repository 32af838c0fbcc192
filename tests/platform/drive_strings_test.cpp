// The drive-string block's walk on every backend: the fixed drives, in
// block order, each as its letter and colon; an empty block asks nothing.
#include "platform/drive_strings.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Drive strings for A: (removable), C: and D: (fixed) and E: (optical).
const PathChar kBlock[] = ZQ_T("A:\\\0C:\\\0D:\\\0E:\\\0");

uint32_t FakeDriveType(const PathString& root) {
    if (root == ZQ_T("C:") || root == ZQ_T("D:")) {
        return platform::kDriveFixed;
    }
    return root == ZQ_T("A:") ? 2 : 5;
}

TEST(DriveStringsTest, FixedDrivesInBlockOrderAsLetterAndColon) {
    std::vector<PathString> asked;
    std::vector<PathString> roots;
    platform::CollectFixedDriveRoots(
        kBlock,
        [&](const PathChar* root) {
            asked.push_back(root);
            return FakeDriveType(root);
        },
        &roots);
    EXPECT_EQ((std::vector<PathString>{ZQ_T("A:"), ZQ_T("C:"), ZQ_T("D:"), ZQ_T("E:")}), asked);
    EXPECT_EQ((std::vector<PathString>{ZQ_T("C:"), ZQ_T("D:")}), roots);
}

TEST(DriveStringsTest, EmptyBlockAsksNothing) {
    const PathChar empty[] = {0, 0};
    std::vector<PathString> roots;
    bool asked = false;
    platform::CollectFixedDriveRoots(
        empty,
        [&](const PathChar*) {
            asked = true;
            return platform::kDriveFixed;
        },
        &roots);
    EXPECT_FALSE(asked);
    EXPECT_TRUE(roots.empty());
}

}  // namespace
