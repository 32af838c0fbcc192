// The registry service on every backend, on the suite's own key: a missing
// key or value is "not found", a value is read as stored, and a buffer too
// small is told so with the size it needs.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/suite_fixture.h"

namespace {

using platform::RegistryKey;

const PathChar kKey[] = ZQ_T("SOFTWARE\\Morlane\\QRVCommon");
const PathChar kValue[] = ZQ_T("ProgramPath");
const PathString kStored = PathString(ZQ_PATH_SEP_STR) + ZQ_T("Suite");

TEST(RegistryTest, MissingKeyAndMissingValueAreNotFound) {
    quarantinetest::SuiteRegistry suite;
    if (!suite.Usable()) {
        GTEST_SKIP() << "the machine has the suite's key";
    }
    RegistryKey absent;
    EXPECT_EQ(platform::kRegistryNotFound, absent.OpenMachineKey(kKey));

    suite.CreateKey();
    RegistryKey key;
    ASSERT_EQ(platform::kRegistryOk, key.OpenMachineKey(kKey));
    uint32_t size = 0;
    EXPECT_EQ(platform::kRegistryNotFound, key.QueryValueSize(kValue, &size));
}

TEST(RegistryTest, AValueIsReadAsStoredAndATooSmallBufferIsToldTheSize) {
    quarantinetest::SuiteRegistry suite;
    if (!suite.Usable()) {
        GTEST_SKIP() << "the machine has the suite's key";
    }
    suite.SetInstallPathWithoutTerminator(kStored);
    const uint32_t stored_bytes = static_cast<uint32_t>(kStored.size() * sizeof(PathChar));

    RegistryKey key;
    ASSERT_EQ(platform::kRegistryOk, key.OpenMachineKey(kKey));
    uint32_t size = 0;
    ASSERT_EQ(platform::kRegistryOk, key.QueryValueSize(kValue, &size));
    EXPECT_EQ(stored_bytes, size);

    std::vector<PathChar> buffer(kStored.size() + 1, 0);
    size = stored_bytes - 1;
    EXPECT_EQ(platform::kRegistryMoreData, key.QueryValue(kValue, buffer.data(), &size));
    EXPECT_EQ(stored_bytes, size);

    size = static_cast<uint32_t>(buffer.size() * sizeof(PathChar));
    ASSERT_EQ(platform::kRegistryOk, key.QueryValue(kValue, buffer.data(), &size));
    EXPECT_EQ(stored_bytes, size);
    EXPECT_EQ(kStored, PathString(buffer.data(), kStored.size()));
}

}  // namespace
