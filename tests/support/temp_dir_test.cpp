// The tests' temporary folder: files made in nested folders, all removed at its end.
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(TempDir, MakesNestedFilesAndRemovesThem) {
    std::filesystem::path kept;
    {
        testsupport::TempDir dir;
        kept = dir.Path();
        const PathString file = dir.Join("a/b/c.bin");
        testsupport::WriteFile(file, testsupport::PatternBytes(100, 1));
        EXPECT_EQ(testsupport::ReadFile(file), testsupport::PatternBytes(100, 1));
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

}  // namespace
