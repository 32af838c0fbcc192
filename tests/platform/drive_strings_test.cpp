// The drive-string block on every backend: its reading, asked again while
// drives are added and never taken unfilled, and its walk: the fixed drives
// that are no SUBST drives, in block order, each as its letter and colon.
#include "platform/drive_strings.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "platform/entry_rules.h"

namespace {

using platform::RootListStep;

// Drive strings for A: (removable), C: and D: (fixed), E: (optical) and S:
// (fixed, a SUBST drive).
const PathChar kBlock[] = ZQ_T("A:\\\0C:\\\0D:\\\0E:\\\0S:\\\0");

uint32_t FakeDriveType(const PathString& root) {
    if (root == ZQ_T("C:") || root == ZQ_T("D:") || root == ZQ_T("S:")) {
        return platform::kDriveFixed;
    }
    return root == ZQ_T("A:") ? 2 : 5;
}

// QueryDosDeviceW's texts: a volume's device, or another drive's folder.
PathString FakeDosDevice(const PathString& root) {
    return root == ZQ_T("S:") ? ZQ_T("\\??\\C:\\Projects") : ZQ_T("\\Device\\HarddiskVolume3");
}

TEST(DriveStringsTest, FixedDrivesThatAreNoSubstDrivesInBlockOrderAsLetterAndColon) {
    std::vector<PathString> asked;
    std::vector<PathString> asked_device;
    std::vector<PathString> roots;
    platform::CollectFixedDriveRoots(
        kBlock,
        [&](const PathChar* root) {
            asked.push_back(root);
            return FakeDriveType(root);
        },
        [&](const PathChar* root) {
            asked_device.push_back(root);
            return platform::IsSubstDrive(FakeDosDevice(root).c_str());
        },
        &roots);
    EXPECT_EQ((std::vector<PathString>{ZQ_T("A:"), ZQ_T("C:"), ZQ_T("D:"), ZQ_T("E:"), ZQ_T("S:")}),
              asked);
    // Only the fixed drives' devices are asked for.
    EXPECT_EQ((std::vector<PathString>{ZQ_T("C:"), ZQ_T("D:"), ZQ_T("S:")}), asked_device);
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
        [&](const PathChar*) {
            asked = true;
            return false;
        },
        &roots);
    EXPECT_FALSE(asked);
    EXPECT_TRUE(roots.empty());
}

TEST(DriveStringsTest, SubstDrivesAreToldByTheirDosDeviceText) {
    struct Case {
        const PathChar* device;
        bool subst;
    };
    const Case cases[] = {
        {ZQ_T("\\??\\C:\\Projects"), true},
        {ZQ_T("\\??\\UNC\\server\\share"), true},
        {ZQ_T("\\Device\\HarddiskVolume2"), false},
        {ZQ_T("\\Device\\LanmanRedirector\\;Z:0\\server\\share"), false},
        {ZQ_T("\\??"), false},
        {ZQ_T(""), false},
        {nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device == nullptr ? "null" : std::to_string(c.subst));
        EXPECT_EQ(c.subst, platform::IsSubstDrive(c.device));
    }
}

// A made-up GetLogicalDriveStringsW: each answer in turn, writing the block
// `drives` when an answer says it fitted.
struct FakeDriveStrings {
    std::deque<uint32_t> answers;  // what each call returns, in order
    std::vector<PathChar> drives;  // the block written on a fitting answer
    std::vector<uint32_t> lengths;
    std::vector<std::vector<PathChar>> blocks;  // every block handed out

    uint32_t Query(uint32_t length, PathChar* buffer, OsError* error) {
        lengths.push_back(length);
        const uint32_t answer = answers.empty() ? 0 : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        if (answer == 0) {
            *error = 21;
        } else if (buffer != nullptr && answer < length) {
            std::copy(drives.begin(), drives.begin() + answer + 1, buffer);
        }
        return answer;
    }

    PathChar* Allocate(uint32_t chars) {
        blocks.emplace_back(chars, PathChar(0));
        return blocks.back().data();
    }
};

TEST(DriveStringsTest, ABlockThatGrewIsAskedForAgainAndNeverTakenUnfilled) {
    // "C:\" "D:\" then the final empty string: 8 characters, 9 with a drive.
    const PathChar two[] = ZQ_T("C:\\\0D:\\\0");
    struct Case {
        const char* name;
        std::deque<uint32_t> answers;
        RootListStep step;
        OsError code;
        std::vector<uint32_t> lengths;  // asked of the system, in order
    };
    const Case cases[] = {
        {"fits at once", {9, 8}, RootListStep::None, 0, {0, 9}},
        {"a drive added after the size query", {5, 9, 8}, RootListStep::None, 0, {0, 5, 9}},
        {"drives added at every question",
         {5, 9, 13, 17, 21},
         RootListStep::FillQuery,
         122,  // ERROR_INSUFFICIENT_BUFFER
         {0, 5, 9, 13, 17}},
        {"the size query fails", {0}, RootListStep::SizeQuery, 21, {0}},
        {"the fill fails", {9, 0}, RootListStep::FillQuery, 21, {0, 9}},
        {"the fill fails after a retry", {5, 9, 0}, RootListStep::FillQuery, 21, {0, 5, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDriveStrings fake;
        fake.answers = c.answers;
        fake.drives.assign(two, two + sizeof two / sizeof two[0]);
        fake.drives.resize(32, 0);
        PathChar* block = nullptr;
        const platform::StepResult<RootListStep> read = platform::ReadDriveStrings(
            [&](uint32_t length, PathChar* buffer, OsError* error) {
                return fake.Query(length, buffer, error);
            },
            [&](uint32_t chars) { return fake.Allocate(chars); }, &block);
        EXPECT_EQ(c.step, read.step);
        EXPECT_EQ(c.code, read.code);
        EXPECT_EQ(c.lengths, fake.lengths);
        if (c.step != RootListStep::None) {
            EXPECT_EQ(nullptr, block);
            continue;
        }
        ASSERT_NE(nullptr, block);
        std::vector<PathString> roots;
        platform::CollectFixedDriveRoots(
            block, [](const PathChar*) { return platform::kDriveFixed; },
            [](const PathChar*) { return false; }, &roots);
        EXPECT_EQ((std::vector<PathString>{ZQ_T("C:"), ZQ_T("D:")}), roots);
    }
}

TEST(DriveStringsTest, ABlockThatCannotBeAllocatedIsTheAllocStep) {
    FakeDriveStrings fake;
    fake.answers = {9};
    PathChar* block = nullptr;
    const platform::StepResult<RootListStep> read = platform::ReadDriveStrings(
        [&](uint32_t length, PathChar* buffer, OsError* error) {
            return fake.Query(length, buffer, error);
        },
        [](uint32_t) -> PathChar* { return nullptr; }, &block);
    EXPECT_EQ(RootListStep::Alloc, read.step);
    EXPECT_EQ((std::vector<uint32_t>{0}), fake.lengths);
}

}  // namespace
