// The POSIX registry store: the key file's format and the refusal of a file
// that someone other than its trusted owner may write.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "platform/heap_block.h"
#include "platform/posix/registry_posix.h"
#include "platform/registry.h"
#include "support/temp_dir.h"

namespace {

constexpr char kKey[] = "SOFTWARE\\Morlane\\QRVCommon";

class RegistryPosixTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetRegistryFolderForTesting(store_.Path().c_str(), geteuid());
    }
    void TearDown() override { platform::SetRegistryFolderForTesting("/etc", 0); }

    std::string KeyFile() const { return (store_.Path() / "Morlane" / "QRVCommon").string(); }
    void WriteKey(const std::string& text, mode_t mode = 0644) {
        testsupport::WriteFile(KeyFile(), text);
        ASSERT_EQ(0, chmod(KeyFile().c_str(), mode));
    }
    // The value as the wrapper reads it: whole, with no room after it.
    std::string Read(const char* name, platform::StepResult<platform::RegistryReadStep>* result) {
        platform::HeapBlock block;
        *result = platform::ReadMachineValue(kKey, name, 0, &block);
        if (!result->Succeeded()) {
            return std::string();
        }
        return std::string(reinterpret_cast<const char*>(block.Data()), block.Size());
    }
    platform::StepResult<platform::RegistryReadStep> OpenOnly(const char* key) {
        platform::HeapBlock block;
        return platform::ReadMachineValue(key, "ProgramPath", 0, &block);
    }

    testsupport::TempDir store_;
};

TEST_F(RegistryPosixTest, ReadsNameValueLinesAsStored) {
    WriteKey(
        "# comment\r\n"
        "; ProgramPath=/not/this\n"
        "\n"
        "Version=3\n"
        "  programpath\t= /opt/Morlane Suite/=x \r\n"
        "ProgramPath=/second/one/ignored\n"
        "Empty=");
    platform::StepResult<platform::RegistryReadStep> status;
    // Name matched without regard to case and blanks around it; the value is
    // everything after the '=' as it is (no terminator), CR LF removed.
    EXPECT_EQ(Read("ProgramPath", &status), " /opt/Morlane Suite/=x ");
    EXPECT_TRUE(status.Succeeded());
    EXPECT_EQ(Read("Version", &status), "3");
    EXPECT_EQ(Read("Empty", &status), "");
    EXPECT_TRUE(status.Succeeded());
    Read("Missing", &status);
    EXPECT_EQ(status.step, platform::RegistryReadStep::QuerySize);
    EXPECT_EQ(status.code, platform::kRegistryNotFound);
}

// The block holds the value and then the room asked for, zero-filled, so a
// value stored without a terminator still ends inside it.
TEST_F(RegistryPosixTest, ValueIsFollowedByTheRoomAskedForZeroed) {
    WriteKey("ProgramPath=/opt/suite\n");
    platform::HeapBlock block;
    ASSERT_TRUE(platform::ReadMachineValue(kKey, "ProgramPath", 4, &block).Succeeded());
    ASSERT_EQ(block.Size(), 14u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.Data()), 10), "/opt/suite");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.Data()) + 10, 4),
              std::string(4, '\0'));
    // A size that leaves no room for the room fails at the allocation.
    const platform::StepResult<platform::RegistryReadStep> too_big =
        platform::ReadMachineValue(kKey, "ProgramPath", UINT32_MAX - 5, &block);
    EXPECT_EQ(too_big.step, platform::RegistryReadStep::Alloc);
    EXPECT_EQ(too_big.code, 0);
}

// A key file that anyone but its trusted owner could have written decides
// nothing: it reads as a missing key.
TEST_F(RegistryPosixTest, KeyFileOthersMayWriteIsRefusedLikeAMissingKey) {
    struct Case {
        const char* name;
        mode_t mode;
        bool trusted_owner;
    };
    const Case cases[] = {
        {"group writable", 0664, true},
        {"world writable", 0646, true},
        {"owner not trusted", 0644, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteKey("ProgramPath=/opt/suite\n", c.mode);
        platform::SetRegistryFolderForTesting(store_.Path().c_str(),
                                              c.trusted_owner ? geteuid() : geteuid() + 1);
        const platform::StepResult<platform::RegistryReadStep> result = OpenOnly(kKey);
        EXPECT_EQ(result.step, platform::RegistryReadStep::OpenKey);
        EXPECT_EQ(result.code, platform::kRegistryNotFound);
    }
}

TEST_F(RegistryPosixTest, MissingOrOddKeysAreNotFound) {
    const auto expect_not_found = [this](const char* key) {
        SCOPED_TRACE(key);
        const platform::StepResult<platform::RegistryReadStep> result = OpenOnly(key);
        EXPECT_EQ(result.step, platform::RegistryReadStep::OpenKey);
        EXPECT_EQ(result.code, platform::kRegistryNotFound);
    };
    expect_not_found(kKey);  // no file
    WriteKey("ProgramPath=/opt/suite\n");
    expect_not_found("SOFTWARE\\..\\Morlane\\QRVCommon");
    expect_not_found("SOFTWARE\\Morlane\\\\QRVCommon");
    expect_not_found("SOFTWARE\\Morlane/QRVCommon");
    std::filesystem::remove(KeyFile());
    testsupport::WriteFile(store_.Path() / "Morlane" / "QRVCommon" / "inner", "x");
    expect_not_found(kKey);  // a folder
}

}  // namespace
