// The injected-fault seam of the file layer: a rule hits exactly the chosen
// call of the chosen operation, with the chosen code or byte count, on every
// platform's File.
#include "platform/fault_seam.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/temp_dir.h"

namespace {

using platform::File;
using platform::FileIntent;
using platform::SeekOrigin;
using platform::fault::Effect;
using platform::fault::Op;
using platform::fault::Rule;
using platform::fault::Scoped;
using testsupport::Bytes;

constexpr OsError kCode = 0x1F;

class FaultSeamTest : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;
    PathString path_ = dir_.Join("data.bin");
    Bytes content_ = testsupport::PatternBytes(64, 7);

    void SetUp() override { testsupport::WriteFile(path_, content_); }

    // Through the platform's own open, which the seam hooks.
    bool OpenRw(File& file) { return file.Open(path_.c_str(), platform::FileIntent::Repair); }
};

TEST_F(FaultSeamTest, FailsOnlyTheChosenCallOfEachOperation) {
    // Each round below makes `per_round` calls of the operation; the rule
    // hits the first call of the second round.
    struct Case {
        Op op;
        uint32_t per_round;
        const char* name;
    };
    const Case cases[] = {{Op::Open, 1, "open"}, {Op::Size, 1, "size"},   {Op::Seek, 3, "seek"},
                          {Op::Read, 1, "read"}, {Op::Write, 1, "write"}, {Op::Truncate, 1, "cut"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rule rule;
        rule.op = c.op;
        rule.nth = c.per_round + 1;
        rule.code = kCode;
        Scoped armed(rule);
        bool failed[2] = {};
        for (int round = 0; round < 2; ++round) {
            File file;
            uint8_t buffer[8] = {};
            uint32_t size = 0;
            bool ok = OpenRw(file);
            ok = ok && file.SizeLow(&size);
            ok = ok && file.Seek(0, SeekOrigin::Begin);
            ok = ok && file.Read(buffer, sizeof buffer);
            ok = ok && file.Seek(0, SeekOrigin::Begin);
            ok = ok && file.Write(content_.data(), 8);
            ok = ok && file.Seek(64, SeekOrigin::Begin);
            ok = ok && file.SetEnd();
            failed[round] = !ok;
            if (!ok) {
                EXPECT_EQ(kCode, file.Error());
            }
        }
        EXPECT_FALSE(failed[0]);
        EXPECT_TRUE(failed[1]);
        EXPECT_TRUE(platform::fault::Fired());
    }
    EXPECT_EQ(content_, testsupport::ReadFile(path_));
}

TEST_F(FaultSeamTest, ShortAndCutOffTransfersMoveOnlyTheGivenBytes) {
    File file;
    ASSERT_TRUE(OpenRw(file));
    {
        Rule rule;
        rule.op = Op::Read;
        rule.effect = Effect::Short;
        rule.bytes = 5;
        Scoped armed(rule);
        uint8_t buffer[16] = {};
        uint32_t done = 0;
        ASSERT_TRUE(file.Read(buffer, sizeof buffer, &done));
        EXPECT_EQ(5u, done);
        EXPECT_EQ(Bytes(content_.begin(), content_.begin() + 5), Bytes(buffer, buffer + 5));
    }
    {
        Rule rule;
        rule.op = Op::Write;
        rule.effect = Effect::Fail;
        rule.code = kCode;
        rule.bytes = 3;
        Scoped armed(rule);
        ASSERT_TRUE(file.Seek(0, SeekOrigin::Begin));
        const uint8_t zeros[16] = {};
        EXPECT_FALSE(file.Write(zeros, sizeof zeros));
        EXPECT_EQ(kCode, file.Error());
    }
    file.Close();
    Bytes expected = content_;
    std::fill(expected.begin(), expected.begin() + 3, 0);
    EXPECT_EQ(expected, testsupport::ReadFile(path_));
}

TEST_F(FaultSeamTest, CountsCallsAndRunsTheActionBeforeTheChosenCall) {
    int actions = 0;
    {
        Scoped counting;
        File file;
        ASSERT_TRUE(OpenRw(file));
        uint32_t size = 0;
        ASSERT_TRUE(file.SizeLow(&size));
        ASSERT_TRUE(file.SizeLow(&size));
        EXPECT_EQ(1u, platform::fault::Calls(Op::Open));
        EXPECT_EQ(2u, platform::fault::Calls(Op::Size));
        EXPECT_EQ(0u, platform::fault::Calls(Op::Read));
    }
    {
        Rule rule;
        rule.op = Op::Size;
        rule.effect = Effect::None;
        rule.before = [&] {
            ++actions;
            testsupport::WriteFile(path_, Bytes(10, 1));
        };
        Scoped armed(rule);
        // Open for reading with every sharing, so the action may rewrite the
        // file meanwhile.
        File file;
        ASSERT_TRUE(file.Open(path_.c_str(), platform::FileIntent::CheckInfection));
        uint32_t size = 0;
        ASSERT_TRUE(file.SizeLow(&size));
        EXPECT_EQ(10u, size);
    }
    EXPECT_EQ(1, actions);
    // Disarmed: nothing is counted or injected any more.
    const uint32_t opens = platform::fault::Calls(Op::Open);
    File file;
    ASSERT_TRUE(OpenRw(file));
    EXPECT_EQ(opens, platform::fault::Calls(Op::Open));
}

}  // namespace
