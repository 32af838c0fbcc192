// platform::File::Open through a FileRef on POSIX: relative to the folder's
// descriptor, never through a link, never blocking, only a regular file of
// the folder's filesystem, and always the file the first open found.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file.h"
#include "support/temp_dir.h"

namespace {

using platform::File;
using platform::FileIntent;
using platform::FileRef;
namespace fs = std::filesystem;

class FileRefTest : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;
    int folder_ = -1;
    struct stat folder_info_ = {};

    void SetUp() override {
        testsupport::WriteFile(dir_.Join("a.bin"), testsupport::PatternBytes(100, 1));
        testsupport::WriteFile(dir_.Join("b.bin"), testsupport::PatternBytes(100, 2));
        folder_ = open(dir_.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(folder_, 0);
        ASSERT_EQ(0, fstat(folder_, &folder_info_));
    }
    void TearDown() override {
        if (folder_ >= 0) {
            close(folder_);
        }
    }

    // A reference to `name` in the folder, as the walk makes it.
    FileRef InFolder(const std::string& full, const char* name, uint64_t device_change = 0) {
        FileRef ref(full.c_str());
        ref.LocateForTesting(folder_, name,
                             static_cast<uint64_t>(folder_info_.st_dev) ^ device_change);
        return ref;
    }

    bool Open(FileRef& ref, OsError* error) {
        File file;
        const bool opened = file.Open(ref, FileIntent::CheckInfection);
        *error = file.Error();
        return opened;
    }
};

TEST_F(FileRefTest, OpensByNameInTheFolderAndRefusesWhatIsNoRegularFileOfIt) {
    const std::string full = dir_.Join("a.bin");
    fs::create_symlink(dir_.Join("b.bin"), dir_.Join("link.bin"));
    ASSERT_EQ(0, mkfifo(dir_.Join("fifo.bin").c_str(), 0600));
    fs::create_directory(dir_.Join("sub"));
    struct Case {
        const char* name;
        bool opens;
        OsError error;
    };
    const Case cases[] = {
        {"a.bin", true, 0},
        {"link.bin", false, ELOOP},
        {"fifo.bin", false, platform::kErrorNotRegular},  // and it does not block
        {"sub", false, platform::kErrorNotRegular},
        {"absent.bin", false, ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The full path is wrong on purpose: only the folder and name count.
        FileRef ref = InFolder("/nonexistent/path", c.name);
        OsError error = 0;
        EXPECT_EQ(c.opens, Open(ref, &error));
        if (!c.opens) {
            EXPECT_EQ(c.error, error);
        }
    }
}

TEST_F(FileRefTest, RefusesAFileOfAnotherFilesystem) {
    const std::string full = dir_.Join("a.bin");
    FileRef ref = InFolder(full, "a.bin", 1);
    OsError error = 0;
    EXPECT_FALSE(Open(ref, &error));
    EXPECT_EQ(platform::kErrorOtherFilesystem, error);
}

TEST_F(FileRefTest, LaterOpensFindTheFileTheFirstOpenFound) {
    const std::string full = dir_.Join("a.bin");
    FileRef ref = InFolder(full, "a.bin");
    OsError error = 0;
    ASSERT_TRUE(Open(ref, &error));
    ASSERT_TRUE(Open(ref, &error));  // the same file again
    ASSERT_EQ(0, std::rename(dir_.Join("b.bin").c_str(), full.c_str()));
    EXPECT_FALSE(Open(ref, &error));
    EXPECT_EQ(platform::kErrorFileReplaced, error);
}

}  // namespace
