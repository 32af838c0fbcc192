// The contract of platform::File, the same on every platform; only the error
// codes differ (Windows' own or errno).
#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/entry_rules.h"
#include "platform/file_ref.h"
#include "platform/listing_seam.h"
#include "support/held_file.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using platform::File;
using platform::FileIntent;
using platform::SeekOrigin;
using testsupport::Bytes;

using testsupport::kErrFileNotFound;
using testsupport::kErrNegativeSeek;
using testsupport::kWindows;

class FileTest : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;

    PathString Make(const std::string& name, const Bytes& bytes) {
        testsupport::WriteFile(dir_.Join(name), bytes);
        return dir_.Join(name);
    }
};

TEST_F(FileTest, MissingFileFailsWithTheOsCode) {
    File file;
    EXPECT_FALSE(file.Open(dir_.Join("absent.bin").c_str(), FileIntent::CheckInfection));
    EXPECT_EQ(kErrFileNotFound, file.Error());
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileTest, SeekBeforeTheStartFails) {
    const PathString path = Make("small.bin", testsupport::PatternBytes(47, 1));
    File file;
    ASSERT_TRUE(file.Open(path.c_str(), FileIntent::CheckInfection));
    EXPECT_FALSE(file.Seek(-48, SeekOrigin::End));
    EXPECT_EQ(kErrNegativeSeek, file.Error());
    EXPECT_FALSE(file.Seek(-1, SeekOrigin::Begin));
    EXPECT_EQ(kErrNegativeSeek, file.Error());
    EXPECT_TRUE(file.Seek(-47, SeekOrigin::End));
}

TEST_F(FileTest, ReadPastTheEndDeliversWhatThereIs) {
    const Bytes content = testsupport::PatternBytes(10, 2);
    const PathString path = Make("ten.bin", content);
    File file;
    ASSERT_TRUE(file.Open(path.c_str(), FileIntent::CheckInfection));
    uint32_t size = 0;
    ASSERT_TRUE(file.SizeLow(&size));
    EXPECT_EQ(10u, size);

    ASSERT_TRUE(file.Seek(4, SeekOrigin::Begin));
    uint8_t buffer[32] = {};
    uint32_t done = 99;
    ASSERT_TRUE(file.Read(buffer, sizeof(buffer), &done));
    EXPECT_EQ(6u, done);
    EXPECT_EQ(Bytes(content.begin() + 4, content.end()), Bytes(buffer, buffer + 6));

    ASSERT_TRUE(file.Read(buffer, sizeof(buffer), &done));
    EXPECT_EQ(0u, done);
}

TEST_F(FileTest, WriteThenCutAtThePosition) {
    const PathString path = Make("rw.bin", testsupport::PatternBytes(100, 3));
    {
        File file;
        ASSERT_TRUE(testsupport::OpenHeld(&file, path.c_str(), testsupport::Hold::Update));
        const uint8_t head[3] = {'M', 'Z', 0};
        uint32_t done = 0;
        ASSERT_TRUE(file.Seek(0, SeekOrigin::Begin));
        ASSERT_TRUE(file.Write(head, sizeof(head), &done));
        EXPECT_EQ(3u, done);
        ASSERT_TRUE(file.Seek(40, SeekOrigin::Begin));
        ASSERT_TRUE(file.SetEnd());
        uint32_t size = 0;
        ASSERT_TRUE(file.SizeLow(&size));
        EXPECT_EQ(40u, size);
    }
    const Bytes after = testsupport::ReadFile(path);
    Bytes expected = testsupport::PatternBytes(100, 3);
    expected.resize(40);
    expected[0] = 'M';
    expected[1] = 'Z';
    expected[2] = 0;
    EXPECT_EQ(expected, after);
}

TEST_F(FileTest, ReadOnlyAccessRefusesWrites) {
    const PathString path = Make("ro.bin", testsupport::PatternBytes(16, 4));
    File file;
    ASSERT_TRUE(file.Open(path.c_str(), FileIntent::CheckInfection));
    const uint8_t byte = 0;
    EXPECT_FALSE(file.Write(&byte, 1));
    EXPECT_NE(0u, file.Error());
    EXPECT_EQ(testsupport::PatternBytes(16, 4), testsupport::ReadFile(path));
}

TEST_F(FileTest, MoveHandsOverTheHandle) {
    const PathString path = Make("move.bin", testsupport::PatternBytes(8, 5));
    File first;
    ASSERT_TRUE(first.Open(path.c_str(), FileIntent::CheckInfection));
    File second(std::move(first));
    EXPECT_FALSE(first.IsOpen());  // NOLINT(bugprone-use-after-move)
    ASSERT_TRUE(second.IsOpen());
    uint32_t size = 0;
    EXPECT_TRUE(second.SizeLow(&size));
    EXPECT_EQ(8u, size);
    second.Close();
    EXPECT_FALSE(second.IsOpen());
}

// A file listed with a reparse tag that is no link (deduplication, WOF
// compression, a cloud file kept local) holds its data behind the point:
// the repair opens it through the point, and only as the file the image
// test pinned when it opened it; a file renamed over it meanwhile is
// refused. A file listed with a link's tag, or with none, is opened as
// itself (POSIX pins every file on its first open).
TEST_F(FileTest, TheRepairOpensAReparsedFileOnlyAsTheFileFirstOpened) {
    const PathString path = dir_.Join("dedup.exe");
    const PathString other = dir_.Join("other.exe");
    struct Case {
        const char* name;
        uint32_t tag;
        bool examined_first;
        bool replaced;
        bool opens;
        OsError code;
    };
    const Case cases[] = {
        {"deduplicated, examined", 0x80000013, true, false, true, 0},
        {"WOF-compressed, examined, then replaced", 0x80000017, true, true, false,
         platform::kErrorFileReplaced},
        // Windows pins only through the image test's or the check's open.
        {"deduplicated, never examined", 0x80000013, false, false, !kWindows,
         kWindows ? platform::kErrorReparsePoint : 0},
        {"no reparse point, examined, then replaced", 0, true, true, kWindows,
         kWindows ? 0 : platform::kErrorFileReplaced},
        {"symbolic link's tag, examined", platform::kTagSymlink, true, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(path, testsupport::PatternBytes(3000, 1));
        testsupport::WriteFile(other, testsupport::PatternBytes(3000, 2));
        platform::FileRef ref(path.c_str());
        ref.reparse_tag = c.tag;
        if (c.examined_first) {
            File reader;
            ASSERT_TRUE(reader.Open(ref, FileIntent::ExamineImage)) << reader.Error();
        }
        if (c.replaced) {
            std::filesystem::rename(other, path);
        }
        File repair;
        EXPECT_EQ(c.opens, repair.Open(ref, FileIntent::Repair));
        EXPECT_EQ(c.code, c.opens ? 0 : repair.Error());
        repair.Close();
        std::filesystem::remove(path);
        std::filesystem::remove(other);
    }
}

// The repair's open finds, in the file's place, what the opened handle's
// attributes say (made up: Wine cannot make a symbolic link to a file): a
// reparse point (a link or junction put there since the listing) is refused
// as one, a folder as no file, a plain file is opened. POSIX refuses links
// by its own open (file_ref_posix_test).
TEST_F(FileTest, TheRepairRefusesWhatTheOpenedHandleSaysIsAReparsePointOrFolder) {
    if (!kWindows) {
        GTEST_SKIP() << "the Windows repair's check of the opened handle";
    }
    constexpr uint32_t kArchive = 0x20;
    struct Case {
        const char* name;
        uint32_t attributes;
        bool opens;
        OsError code;
    };
    const Case cases[] = {
        {"plain file", kArchive, true, 0},
        {"symbolic link to a file", kArchive | platform::kAttributeReparsePoint, false,
         platform::kErrorReparsePoint},
        {"junction", platform::kAttributeDirectory | platform::kAttributeReparsePoint, false,
         platform::kErrorReparsePoint},
        {"folder", platform::kAttributeDirectory, false, platform::kErrorNotRegular},
    };
    const PathString path = Make("target.exe", testsupport::PatternBytes(3000, 3));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::listing_seam::Fakes fakes;
        fakes.opened = [&](const PathChar* opened, uint32_t* attributes) {
            if (PathString(opened) != path) {
                return false;
            }
            *attributes = c.attributes;
            return true;
        };
        platform::listing_seam::Scoped fake(fakes);
        platform::FileRef ref(path.c_str());
        File repair;
        EXPECT_EQ(c.opens, repair.Open(ref, FileIntent::Repair));
        EXPECT_EQ(c.code, c.opens ? 0 : repair.Error());
        EXPECT_EQ(c.opens, repair.IsOpen());
    }
    EXPECT_EQ(testsupport::PatternBytes(3000, 3), testsupport::ReadFile(path));
}

}  // namespace
