// The confinement of the tests that walk (platform/listing_seam.h): a
// listing below the tests' folder goes ahead; one outside it, beside it
// under a name that merely begins like it, or through "." or "..", is
// refused with its own code, and the test is told which.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dir_search.h"
#include "platform/listing_seam.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(Confinement, ListingsOutsideTheTestsFolderAreRefused) {
    testsupport::TempDir dir;
    const fs::path base = dir.Path() / "base";
    fs::create_directories(base / "inner");
    fs::create_directories(dir.Path() / "base2");
    struct Case {
        fs::path folder;
        bool listed;
    };
    const Case cases[] = {
        {base, true},         {base / "inner", true},
        {dir.Path(), false},  {dir.Path() / "base2", false},
        {base / "..", false}, {base / "inner" / ".." / "inner", false},
        {base / ".", false},
    };
    std::vector<std::string> told;
    platform::listing_seam::ConfineForTesting(base.native().c_str(), [&](const PathChar* folder) {
        told.push_back(fs::path(folder).string());
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.string());
        told.clear();
        platform::DirSearch search;
        EXPECT_EQ(c.listed, search.Open(c.folder.native().c_str()));
        if (!c.listed) {
            EXPECT_EQ(platform::listing_seam::kOutsideConfinement, search.Error());
            EXPECT_EQ(std::vector<std::string>{c.folder.string()}, told);
        } else {
            EXPECT_TRUE(told.empty());
        }
    }
    platform::listing_seam::ConfineForTesting(nullptr, nullptr);
    platform::DirSearch search;
    EXPECT_TRUE(search.Open(dir.Path().native().c_str())) << "confined still";
}

}  // namespace
