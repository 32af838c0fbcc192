// The stand-in quarantine library on its own: the factory's interface check
// and the backups its object makes.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup_original.h"
#include "platform/dynamic_library.h"
#include "quarantine/recycle_object.h"
#include "sample_builder/sample_builder.h"
#include "scan/comm_func.h"
#include "support/suite_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;

constexpr PathChar kDetectionName[] = ZQ_T("3rd.Infect.Cindervane");

std::vector<fs::path> QuarantineEntries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        entries.push_back(entry.path());
    }
    return entries;
}

class StandInLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path copy = folder_.Path() / ZQ_DRUQUARA_FILE_NAME;
        fs::copy_file(fs::path(quarantinetest::BuildPath(ZQ_DRUQUARA_LIBRARY)), copy);
        ASSERT_TRUE(library_.Load(copy.native().c_str())) << library_.Error();
        factory_ =
            reinterpret_cast<CreateRecycleObjectFn>(library_.Symbol(kCreateRecycleObjectName));
        ASSERT_NE(factory_, nullptr);
    }

    RecycleObject* CreateObject() {
        RecycleObject* object = nullptr;
        EXPECT_EQ(factory_(&kRecycleObjectIid, &object), kRecycleOk);
        return object;
    }

    fs::path QuarantineFolder() const { return folder_.Path() / "Quarantine"; }

    testsupport::TempDir folder_;
    testsupport::TempDir files_;
    platform::DynamicLibrary library_;
    CreateRecycleObjectFn factory_ = nullptr;
};

TEST_F(StandInLibraryTest, FactoryRefusesAnyOtherInterfaceAndClearsTheOutPointer) {
    RecycleGuid other = kRecycleObjectIid;
    other.data4[7] ^= 1;
    RecycleObject stale = {nullptr};
    RecycleObject* object = &stale;
    EXPECT_EQ(factory_(&other, &object), kRecycleNoInterface);
    EXPECT_EQ(object, nullptr);

    object = CreateObject();
    ASSERT_NE(object, nullptr);
    void* same = &stale;
    EXPECT_EQ(object->table->QueryInterface(object, &other, &same), kRecycleNoInterface);
    EXPECT_EQ(same, nullptr);
}

// A second backup of the same path, made after the file changed, is a new
// backup: the first is never overwritten.
TEST_F(StandInLibraryTest, EachBackupIsANewCopyOfTheFileAsItWasThen) {
    RecycleObject* object = CreateObject();
    ASSERT_NE(object, nullptr);
    const PathString file = files_.Join("host.exe");
    const Bytes first = testsupport::PatternBytes(5000, 1);
    const Bytes second = testsupport::PatternBytes(7000, 2);

    testsupport::WriteFile(file, first);
    EXPECT_EQ(object->table->QuarantineFile(object, file.c_str(), kDetectionName, 0), kRecycleOk);
    testsupport::WriteFile(file, second);
    EXPECT_EQ(object->table->QuarantineFile(object, file.c_str(), kDetectionName, 0), kRecycleOk);

    std::vector<Bytes> copies;
    size_t records = 0;
    for (const fs::path& entry : QuarantineEntries(QuarantineFolder())) {
        if (entry.extension() == ".quar") {
            Bytes original;
            EXPECT_TRUE(quarantinetest::BackupOriginal(entry, &original));
            copies.push_back(original);
        } else if (entry.extension() == ".txt") {
            ++records;
        }
    }
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(records, 2u);
    EXPECT_TRUE((copies[0] == first && copies[1] == second) ||
                (copies[0] == second && copies[1] == first));
}

// The backup of an infected image must never be taken for an image by a
// scan of the drive holding the library: it does not begin as an image, does
// not hold the image's bytes, and its name and its record's begin with "."
// (names a scan passes over).
TEST_F(StandInLibraryTest, BackupOfAnImageIsNoImageAndHidesItsBytes) {
    RecycleObject* object = CreateObject();
    ASSERT_NE(object, nullptr);
    const PathString file = files_.Join("infected.exe");
    const Bytes image = sample::BuildInfected(sample::BuildPe(6000)).infected;
    testsupport::WriteFile(file, image);
    EXPECT_EQ(object->table->QuarantineFile(object, file.c_str(), kDetectionName, 0), kRecycleOk);

    const std::vector<fs::path> entries = QuarantineEntries(QuarantineFolder());
    ASSERT_EQ(entries.size(), 2u);
    for (const fs::path& entry : entries) {
        EXPECT_EQ(entry.filename().u8string()[0], '.') << entry;
        if (entry.extension() == ".quar") {
            const Bytes backup = testsupport::ReadFile(entry);
            EXPECT_FALSE(CommFunc::IsFilePE(entry.native().c_str()));
            ASSERT_GE(backup.size(), 2u);
            EXPECT_NE(std::string(backup.begin(), backup.begin() + 2), "MZ");
            EXPECT_NE(std::string(backup.begin(), backup.begin() + 2), "ZM");
            // The 1076-byte window the scan recognises is nowhere in it.
            const Bytes& window = sample::TestWindowPattern();
            ASSERT_TRUE(std::equal(window.begin(), window.end(), image.begin() + 1024));
            EXPECT_EQ(std::search(backup.begin(), backup.end(), window.begin(), window.end()),
                      backup.end());
            Bytes original;
            ASSERT_TRUE(quarantinetest::BackupOriginal(entry, &original));
            EXPECT_EQ(original, image);
        } else {
            const std::string record = testsupport::ReadText(entry);
            EXPECT_NE(record.find("\nFormat=ZQQB 1\n"), std::string::npos) << record;
        }
    }
}

TEST_F(StandInLibraryTest, BackupOfAFileThatCannotBeReadFailsAndLeavesNothing) {
    RecycleObject* object = CreateObject();
    ASSERT_NE(object, nullptr);
    const PathString missing = files_.Join("gone.exe");
    EXPECT_LT(object->table->QuarantineFile(object, missing.c_str(), kDetectionName, 0), 0);
    EXPECT_TRUE(QuarantineEntries(QuarantineFolder()).empty());
}

}  // namespace
