// platform::CombinePath as the wrapper uses it: exactly one separator
// between folder and relative path, and no cut path when it does not fit.
#include "platform/path_combine.h"

#include <gtest/gtest.h>

namespace {

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
