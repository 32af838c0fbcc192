// The POSIX registry store: the key file's format and the refusal of a file
// that someone other than its trusted owner may write.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

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
    // The value as the wrapper reads it: size, then data.
    std::string Read(const char* name, platform::RegistryStatus* status) {
        platform::RegistryKey key;
        *status = key.OpenMachineKey(kKey);
        if (*status != platform::kRegistryOk) {
            return std::string();
        }
        uint32_t size = 0;
        *status = key.QueryValueSize(name, &size);
        if (*status != platform::kRegistryOk) {
            return std::string();
        }
        std::string data(size, '\0');
        *status = key.QueryValue(name, &data[0], &size);
        data.resize(size);
        return data;
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
    platform::RegistryStatus status = -1;
    // Name matched without regard to case and blanks around it; the value is
    // everything after the '=' as it is (no terminator), CR LF removed.
    EXPECT_EQ(Read("ProgramPath", &status), " /opt/Morlane Suite/=x ");
    EXPECT_EQ(status, platform::kRegistryOk);
    EXPECT_EQ(Read("Version", &status), "3");
    EXPECT_EQ(Read("Empty", &status), "");
    EXPECT_EQ(status, platform::kRegistryOk);
    Read("Missing", &status);
    EXPECT_EQ(status, platform::kRegistryNotFound);
}

TEST_F(RegistryPosixTest, TooSmallBufferReportsMoreDataAndTheSize) {
    WriteKey("ProgramPath=/opt/suite\n");
    platform::RegistryKey key;
    ASSERT_EQ(key.OpenMachineKey(kKey), platform::kRegistryOk);
    char data[4] = {};
    uint32_t size = sizeof(data);
    EXPECT_EQ(key.QueryValue("ProgramPath", data, &size), platform::kRegistryMoreData);
    EXPECT_EQ(size, 10u);
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
        platform::RegistryKey key;
        EXPECT_EQ(key.OpenMachineKey(kKey), platform::kRegistryNotFound);
    }
}

TEST_F(RegistryPosixTest, MissingOrOddKeysAreNotFound) {
    platform::RegistryKey key;
    EXPECT_EQ(key.OpenMachineKey(kKey), platform::kRegistryNotFound);  // no file
    WriteKey("ProgramPath=/opt/suite\n");
    EXPECT_EQ(key.OpenMachineKey("SOFTWARE\\..\\Morlane\\QRVCommon"), platform::kRegistryNotFound);
    EXPECT_EQ(key.OpenMachineKey("SOFTWARE\\Morlane\\\\QRVCommon"), platform::kRegistryNotFound);
    EXPECT_EQ(key.OpenMachineKey("SOFTWARE\\Morlane/QRVCommon"), platform::kRegistryNotFound);
    std::filesystem::remove(KeyFile());
    testsupport::WriteFile(store_.Path() / "Morlane" / "QRVCommon" / "inner", "x");
    EXPECT_EQ(key.OpenMachineKey(kKey), platform::kRegistryNotFound);  // a folder
}

}  // namespace
