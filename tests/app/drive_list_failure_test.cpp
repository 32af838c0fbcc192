// A drive list that cannot be had: its one line, no root, and the run's
// normal end (summary, "End...", exit code 0) on every backend.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/scan_main.h"
#include "platform/fault_seam.h"
#include "scan_main_run.h"
#include "support/log_capture.h"

namespace {

using platform::fault::Op;
using platform::fault::Rule;

constexpr const char* kSummaryOfNothing =
    "Summary...Folders:0, Files:0, Examined:0, Safe:0, Is Fix:0, Error:0, Unreadable:0, "
    "Not Scanned:0, Unlisted:0, Seconds:";

Rule FailDriveStrings(uint32_t nth, OsError code) {
    Rule rule;
    rule.op = Op::DriveStrings;
    rule.nth = nth;
    rule.code = code;
    return rule;
}

TEST(DriveListFailureTest, AFailedSizeQueryIsLine395AndNoRoot) {
    std::vector<PathString> roots;
    std::vector<std::string> lines;
    {
        platform::fault::Scoped fault(FailDriveStrings(1, 21));
        testsupport::LogCapture log;
        roots = CollectFixedRoots();
        lines = log.Lines();
    }
    EXPECT_TRUE(roots.empty());
    EXPECT_EQ(std::vector<std::string>{"[wmain][395]Call GetLogicalDriveStrings failed: 21"},
              lines);
}

TEST(DriveListFailureTest, TheRunThenEndsAsUsualWithNothingScanned) {
    const testsupport::MainRun run = testsupport::RunScanMain(FailDriveStrings(1, 21));
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(0u, run.console.rfind("Start Scanning...End Scanning...", 0)) << run.console;
    ASSERT_EQ(4u, run.log.size()) << ::testing::PrintToString(run.log);
    EXPECT_EQ("Start...", run.log[0]);
    EXPECT_EQ("[wmain][395]Call GetLogicalDriveStrings failed: 21", run.log[1]);
    EXPECT_EQ(0u, run.log[2].rfind(kSummaryOfNothing, 0)) << run.log[2];
    EXPECT_EQ("End...", run.log[3]);
}

}  // namespace
