// A drive list that cannot be had: its one line, no root, and the run's
// normal end (summary with Roots:0, "End...") on every backend; standard
// error says that nothing was scanned and why, and a run that only checks
// ends with status 2.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/scan_main.h"
#include "infect/infection_signatures.h"
#include "platform/fault_seam.h"
#include "platform/fixed_roots.h"
#include "scan_main_run.h"
#include "support/log_capture.h"
#include "support/os_codes.h"

namespace {

using platform::fault::Op;
using platform::fault::Rule;

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
    std::string reason;
    {
        platform::fault::Scoped fault(FailDriveStrings(1, 21));
        testsupport::LogCapture log;
        roots = CollectFixedRoots(&reason);
        lines = log.Lines();
    }
    EXPECT_TRUE(roots.empty());
    EXPECT_EQ(std::vector<std::string>{"[wmain][395]Call GetLogicalDriveStrings failed: 21"},
              lines);
    EXPECT_EQ(testsupport::kWindows ? "the drive list could not be read (error 21)"
                                    : "/proc/self/mountinfo could not be read (error 21)",
              reason);
}

TEST(DriveListFailureTest, TheRunThenEndsWithNothingScannedSaidOnStandardError) {
    const std::string version =
        "Version..." + VersionText() + ", Signatures:" + std::to_string(InfectionSignatures.count);
    for (const bool check_only : {false, true}) {
        SCOPED_TRACE(check_only ? "check only" : "repairing");
        const testsupport::MainRun run =
            testsupport::RunScanMain(FailDriveStrings(1, 21), check_only);
        EXPECT_EQ(check_only ? 2 : 0, run.exit_code);
        EXPECT_EQ("Start Scanning...End Scanning...", run.console);
        platform::StepResult<platform::RootListStep> failed;
        failed.step = platform::RootListStep::SizeQuery;
        failed.code = 21;
        EXPECT_EQ("ZQCindervane: nothing scanned: " + platform::NoRootsReason(failed) + "\n",
                  run.error);
        std::vector<std::string> want = {"Start...", version};
        if (check_only) {
            want.push_back("Check only: nothing is repaired");
        }
        want.push_back("[wmain][395]Call GetLogicalDriveStrings failed: 21");
        // The reason is logged too, so a log alone says why nothing was scanned.
        want.push_back("[wmain][445]Nothing scanned:" + platform::NoRootsReason(failed));
        want.push_back(check_only
                           ? "Summary...Folders:0, Files:0, Examined:0, Safe:0, Is Fix:0, "
                             "Infected:0, Error:0, Unreadable:0, In use:0, Not Scanned:0, "
                             "Unlisted:0, "
                             "Roots:0, Seconds:"
                           : "Summary...Folders:0, Files:0, Examined:0, Safe:0, Is Fix:0, "
                             "Error:0, Unreadable:0, In use:0, Not Scanned:0, Unlisted:0, Roots:0, "
                             "Seconds:");
        want.push_back("End...");
        ASSERT_EQ(want.size(), run.log.size()) << ::testing::PrintToString(run.log);
        for (size_t i = 0; i < want.size(); ++i) {
            // The summary's seconds vary.
            EXPECT_EQ(0u, run.log[i].rfind(want[i], 0)) << run.log[i];
        }
    }
}

}  // namespace
