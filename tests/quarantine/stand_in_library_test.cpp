// The stand-in quarantine library on its own: the factory's interface check
// and the backups its object makes.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/dynamic_library.h"
#include "quarantine/recycle_object.h"
#include "suite_fixture.h"
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
// copy: the first is never overwritten.
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
            copies.push_back(testsupport::ReadFile(entry));
        } else if (entry.extension() == ".txt") {
            ++records;
        }
    }
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(records, 2u);
    EXPECT_TRUE((copies[0] == first && copies[1] == second) ||
                (copies[0] == second && copies[1] == first));
}

TEST_F(StandInLibraryTest, BackupOfAFileThatCannotBeReadFailsAndLeavesNothing) {
    RecycleObject* object = CreateObject();
    ASSERT_NE(object, nullptr);
    const PathString missing = files_.Join("gone.exe");
    EXPECT_LT(object->table->QuarantineFile(object, missing.c_str(), kDetectionName, 0), 0);
    EXPECT_TRUE(QuarantineEntries(QuarantineFolder()).empty());
}

}  // namespace
