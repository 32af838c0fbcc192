// platform::CombinePath as the wrapper uses it: exactly one separator
// between folder and relative path, and no cut path when it does not fit.
#include "platform/path_combine.h"

#include <gtest/gtest.h>

#include "support/os_codes.h"

namespace {

using testsupport::kWindows;

const PathString kRelative =
    ZQ_T("security") ZQ_PATH_SEP_STR ZQ_T("zebscan") ZQ_PATH_SEP_STR ZQ_T("druquara.dll");

TEST(CombinePathTest, PutsExactlyOneSeparatorBetweenFolderAndRelativePath) {
    const PathString base = PathString(ZQ_PATH_SEP_STR) + ZQ_T("Suite");
    const PathString expected = base + ZQ_PATH_SEP_STR + kRelative;
    for (const PathString& folder : {base, base + ZQ_PATH_SEP_STR}) {
        PathChar buffer[platform::kMaxPathChars] = {};
        ASSERT_TRUE(platform::CombinePath(buffer, folder.c_str(), kRelative.c_str()));
        EXPECT_EQ(PathString(buffer), expected);
    }
}

// The join itself: separators trimmed on both sides of the one put
// between, a root folder, an empty folder (the relative path alone), and on
// Windows "/" counted as a separator.
TEST(CombinePathTest, JoinsRootsEmptyFoldersAndSeparatorRuns) {
    struct Case {
        PathString folder;
        PathString relative;
        PathString joined;
        bool windows_only;
    };
    const PathString sep = ZQ_PATH_SEP_STR;
    const Case cases[] = {
        {sep, ZQ_T("a"), sep + ZQ_T("a"), false},
        {sep + sep + sep, sep + sep + ZQ_T("a"), sep + ZQ_T("a"), false},
        {ZQ_T(""), ZQ_T("a") + sep + ZQ_T("b"), ZQ_T("a") + sep + ZQ_T("b"), false},
        {sep + ZQ_T("s") + sep + sep, sep + ZQ_T("a"), sep + ZQ_T("s") + sep + ZQ_T("a"), false},
        {sep + ZQ_T("s"), ZQ_T(".") + sep + ZQ_T("a"),
         sep + ZQ_T("s") + sep + ZQ_T(".") + sep + ZQ_T("a"), false},
        {ZQ_T("C:\\"), ZQ_T("a"), ZQ_T("C:\\a"), true},
        {ZQ_T("\\\\server\\share\\"), ZQ_T("a"), ZQ_T("\\\\server\\share\\a"), true},
        {ZQ_T("C:/suite/"), ZQ_T("/a"), ZQ_T("C:/suite\\a"), true},
    };
    for (const Case& c : cases) {
        if (c.windows_only && !kWindows) {
            continue;
        }
        SCOPED_TRACE(testing::PrintToString(c.folder) + " + " + testing::PrintToString(c.relative));
        PathChar buffer[platform::kMaxPathChars] = {};
        ASSERT_TRUE(platform::CombinePath(buffer, c.folder.c_str(), c.relative.c_str()));
        EXPECT_EQ(PathString(buffer), c.joined);
    }
}

TEST(CombinePathTest, FillsTheBufferExactlyButRefusesOneCharacterMore) {
    // Joined length = folder + 1 separator + relative; 259 characters fit
    // with the terminator, 260 do not.
    const PathString prefix = PathString(ZQ_PATH_SEP_STR) + ZQ_T("S");
    for (const size_t joined : {size_t{259}, size_t{260}, size_t{400}}) {
        SCOPED_TRACE(joined);
        PathString folder = prefix;
        folder.append(joined - 1 - kRelative.size() - folder.size(), ZQ_T('x'));
        PathChar buffer[platform::kMaxPathChars];
        for (PathChar& c : buffer) {
            c = ZQ_T('#');
        }
        const bool fits = platform::CombinePath(buffer, folder.c_str(), kRelative.c_str());
        if (joined < platform::kMaxPathChars) {
            ASSERT_TRUE(fits);
            EXPECT_EQ(PathString(buffer), folder + ZQ_PATH_SEP_STR + kRelative);
        } else {
            EXPECT_FALSE(fits);
            EXPECT_EQ(buffer[0], ZQ_T('\0'));
        }
    }
}

}  // namespace

namespace {

// platform::IsAbsolutePath: only a path that names one place whatever the
// current folder and drive is absolute.
TEST(IsAbsolutePathTest, OnlyDriveRootedAndUncPathsOnWindowsOnlyRootedOnPosix) {
    struct Case {
        const PathChar* path;
        bool windows;
        bool posix;
    };
    const Case cases[] = {
        {ZQ_T(""), false, false},
        {ZQ_T("suite"), false, false},
        {ZQ_T("suite\\"), false, false},
        {ZQ_T("C:suite"), false, false},
        {ZQ_T("C:"), false, false},
        {ZQ_T("C:\\suite"), true, false},
        {ZQ_T("C:\\suite\\"), true, false},
        {ZQ_T("c:/suite"), true, false},
        {ZQ_T("\\\\server\\share\\suite"), true, false},
        {ZQ_T("\\\\server\\share\\suite\\"), true, false},
        {ZQ_T("\\\\server\\share"), true, false},
        {ZQ_T("\\\\server"), false, false},
        {ZQ_T("\\\\server\\"), false, false},
        {ZQ_T("\\\\\\share\\suite"), false, false},
        {ZQ_T("\\suite"), false, false},
        {ZQ_T("1:\\suite"), false, false},
        {ZQ_T("/suite"), false, true},
        {ZQ_T("/suite/"), false, true},
        {ZQ_T("./suite"), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(PathString(c.path)));
        EXPECT_EQ(kWindows ? c.windows : c.posix, platform::IsAbsolutePath(c.path));
    }
}

}  // namespace
