// An interrupt while a file is slow to open, at each place where the walk
// looks at a file again before its first line: the second look at files
// listed before a repair, and the second try of a view refused for want of
// room. Both are the readers' work; the walk's thread waits for them only
// as long as no interrupt has come, and ends within half a second of one,
// with no line for the file it waited for.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "infect/infection_signatures.h"
#include "platform/fault_seam.h"
#include "platform/file_view.h"
#include "platform/interrupt.h"
#include "platform/monotonic_clock.h"
#include "platform/thread.h"
#include "sample_builder/sample_builder.h"
#include "scan/scan_folder.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/suite_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::kWindows;

const char* const kTestEntries[] = {sample::kTestSignature};
const SignatureList kTestList = {kTestEntries, 1};

// How long the slow open takes, and how soon after the interrupt the walk
// must have ended.
constexpr uint32_t kSlowMs = 3000;
constexpr uint32_t kEndWithinMs = 500;

// Delivers the platform's usual interrupt, as the system would.
void Interrupt() {
    if constexpr (kWindows) {
        EXPECT_TRUE(platform::RunConsoleEventHandler(0));  // CTRL_C_EVENT
    } else {
        std::raise(SIGINT);
    }
}

// What the slow call's action shares with the test; held by the action too,
// since the reader it holds up outlives the walk.
struct Slow {
    std::atomic<uint32_t> calls{0};
    std::atomic<uint32_t> interrupted_at{0};
    std::atomic<bool> over{false};

    // Interrupts, then keeps the calling thread for kSlowMs.
    void HoldUp() {
        interrupted_at = platform::MonotonicMilliseconds();
        Interrupt();
        platform::SleepMilliseconds(kSlowMs);
        over = true;
    }
    // After the test: the held reader is let go before the files go.
    void AwaitEnd() const {
        for (uint32_t waited = 0; !over && waited < 2 * kSlowMs; waited += 10) {
            platform::SleepMilliseconds(10);
        }
    }
};

struct Walked {
    std::string console;
    std::vector<std::string> lines;
    uint32_t returned_at = 0;
};

Walked WalkArmed(const fs::path& root, const platform::fault::Rule& rule) {
    Walked walked;
    testsupport::LogCapture log;
    ::testing::internal::CaptureStdout();
    {
        platform::fault::Scoped armed(rule);
        EXPECT_TRUE(ScanFolder(root.native().c_str(), ScanOptions{&kTestList}));
        walked.returned_at = platform::MonotonicMilliseconds();
    }
    walked.console = ::testing::internal::GetCapturedStdout();
    walked.lines = log.Lines();
    return walked;
}

size_t Count(const std::vector<std::string>& lines, const std::string& start) {
    size_t count = 0;
    for (const std::string& line : lines) {
        count += line.rfind(start, 0) == 0 ? 1 : 0;
    }
    return count;
}

class ReadAheadInterruptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::WatchInterrupts();
        platform::ForgetInterrupt();
    }
    void TearDown() override {
        platform::StopWatchingInterrupts();
        platform::ForgetInterrupt();
    }
};

// Three links of one infected program: the first met is repaired, and the
// two others, listed before the repair, are listed and examined again. That
// second look's open is slow.
TEST_F(ReadAheadInterruptTest, ASlowOpenAfterARepairDoesNotHoldTheEnd) {
    quarantinetest::SuiteRegistry registry;  // the suite's key absent
    ASSERT_TRUE(registry.Usable());
    testsupport::TempDir dir;
    const fs::path root = dir.Path() / "links";
    fs::create_directories(root);
    const testsupport::Bytes infected =
        sample::BuildInfected(sample::BuildPe(6000, {false, false, 1})).infected;
    testsupport::WriteFile(root / "a.exe", infected);
    for (const char* link : {"b.exe", "c.exe"}) {
        fs::create_hard_link(root / "a.exe", root / link);
    }
    const fs::path first = root / "a.exe";
    std::shared_ptr<Slow> slow(new Slow());
    platform::fault::Rule rule;
    rule.op = platform::fault::Op::Open;
    rule.and_after = true;
    rule.effect = platform::fault::Effect::None;
    // The first open once the program is repaired (nothing of the repair
    // opens it after its cut) is the second look at a link.
    rule.before = [slow, first, infected] {
        if (slow->interrupted_at == 0 && testsupport::ReadFile(first) != infected &&
            slow->calls++ == 0) {
            slow->HoldUp();
        }
    };
    const Walked walked = WalkArmed(root, rule);
    slow->AwaitEnd();
    ASSERT_NE(0u, slow->interrupted_at.load()) << "no second look was reached";
    EXPECT_LT(walked.returned_at - slow->interrupted_at, kEndWithinMs);
    // The repaired link's result, and nothing of the links after it.
    EXPECT_EQ(1u, Count(walked.lines, "[ScanFolder][309]"));
    EXPECT_EQ(1u, Count(walked.lines, "[ScanFolder][334]"));
    EXPECT_EQ(1, std::count(walked.console.begin(), walked.console.end(), '\n'));
}

// One image whose every mapping fails for want of memory: the second try's
// mapping is slow.
TEST_F(ReadAheadInterruptTest, ASlowSecondTryOfARefusedViewDoesNotHoldTheEnd) {
    testsupport::TempDir dir;
    const fs::path root = dir.Path() / "one";
    fs::create_directories(root);
    testsupport::WriteFile(root / "a.exe", sample::BuildPe(8192));
    std::shared_ptr<Slow> slow(new Slow());
    platform::fault::Rule rule;
    rule.op = platform::fault::Op::Map;
    rule.and_after = true;
    rule.code = platform::kErrorNoMemory;
    rule.before = [slow] {
        if (slow->calls++ == 1) {
            slow->HoldUp();
        }
    };
    const Walked walked = WalkArmed(root, rule);
    slow->AwaitEnd();
    ASSERT_NE(0u, slow->interrupted_at.load()) << "the second try was never made";
    EXPECT_LT(walked.returned_at - slow->interrupted_at, kEndWithinMs);
    // The interrupt came before the file's first line.
    EXPECT_EQ(std::vector<std::string>{}, walked.lines);
    EXPECT_EQ("", walked.console);
}

}  // namespace
