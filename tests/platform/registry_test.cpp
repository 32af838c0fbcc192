// The registry read on every backend, on the suite's own key: a missing key
// or value fails at its step with "not found", and a value is read as
// stored, followed by the room asked for, zeroed.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/heap_block.h"
#include "support/suite_fixture.h"

namespace {

using platform::RegistryReadStep;
using platform::StepResult;

const PathChar kKey[] = ZQ_T("SOFTWARE\\Morlane\\QRVCommon");
const PathChar kValue[] = ZQ_T("ProgramPath");
const PathString kStored = PathString(ZQ_PATH_SEP_STR) + ZQ_T("Suite");

TEST(RegistryTest, MissingKeyAndMissingValueAreNotFoundAtTheirSteps) {
    quarantinetest::SuiteRegistry suite;
    if (!suite.Usable()) {
        GTEST_SKIP() << "the machine has the suite's key";
    }
    platform::HeapBlock block;
    const StepResult<RegistryReadStep> no_key = platform::ReadMachineValue(kKey, kValue, 0, &block);
    EXPECT_EQ(RegistryReadStep::OpenKey, no_key.step);
    EXPECT_EQ(platform::kRegistryNotFound, no_key.code);

    suite.CreateKey();
    const StepResult<RegistryReadStep> no_value =
        platform::ReadMachineValue(kKey, kValue, 0, &block);
    EXPECT_EQ(RegistryReadStep::QuerySize, no_value.step);
    EXPECT_EQ(platform::kRegistryNotFound, no_value.code);
}

TEST(RegistryTest, AValueIsReadAsStoredFollowedByTheRoomZeroed) {
    quarantinetest::SuiteRegistry suite;
    if (!suite.Usable()) {
        GTEST_SKIP() << "the machine has the suite's key";
    }
    suite.SetInstallPathWithoutTerminator(kStored);
    const uint32_t stored_bytes = static_cast<uint32_t>(kStored.size() * sizeof(PathChar));
    const uint32_t room = 2 * sizeof(PathChar);

    platform::HeapBlock block;
    ASSERT_TRUE(platform::ReadMachineValue(kKey, kValue, room, &block).Succeeded());
    ASSERT_EQ(stored_bytes + room, block.Size());
    const PathChar* text = reinterpret_cast<const PathChar*>(block.Data());
    EXPECT_EQ(kStored, PathString(text, kStored.size()));
    EXPECT_EQ(std::vector<uint8_t>(room, 0),
              std::vector<uint8_t>(block.Data() + stored_bytes, block.Data() + block.Size()));
}

}  // namespace
