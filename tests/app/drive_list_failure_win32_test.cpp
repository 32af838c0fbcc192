// The drive list's two Windows-only failures, the block's allocation (402)
// and the filling query (409): each its one line, no root, and the run's
// normal end.
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

TEST(DriveListFailureWin32Test, AllocationAndFillingFailuresEachLogTheirLineAndEndAsUsual) {
    struct Case {
        Op op;
        uint32_t nth;
        const char* line;
    };
    const Case cases[] = {
        {Op::DriveBlock, 1, "[wmain][402]Alloc data for buffer failed"},
        {Op::DriveStrings, 2, "[wmain][409]Call GetLogicalDriveStrings failed: 122"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Rule rule;
        rule.op = c.op;
        rule.nth = c.nth;
        rule.code = 122;  // ERROR_INSUFFICIENT_BUFFER
        std::vector<PathString> roots;
        std::vector<std::string> lines;
        {
            platform::fault::Scoped fault(rule);
            testsupport::LogCapture log;
            roots = CollectFixedRoots();
            lines = log.Lines();
            EXPECT_TRUE(platform::fault::Fired());
        }
        EXPECT_TRUE(roots.empty());
        EXPECT_EQ(std::vector<std::string>{c.line}, lines);

        const testsupport::MainRun run = testsupport::RunScanMain(rule);
        EXPECT_EQ(0, run.exit_code);
        EXPECT_EQ("Start Scanning...End Scanning...", run.console);
        EXPECT_EQ(std::string("ZQCindervane: nothing scanned: the drive list could not be read (") +
                      (c.op == Op::DriveBlock ? "no memory for it" : "error 122") + ")\n",
                  run.error);
        ASSERT_EQ(6u, run.log.size()) << ::testing::PrintToString(run.log);
        EXPECT_EQ("Start...", run.log[0]);
        EXPECT_EQ(0u, run.log[1].rfind("Version...ZQCindervane ", 0)) << run.log[1];
        EXPECT_EQ(c.line, run.log[2]);
        EXPECT_EQ(std::string("[wmain][445]Nothing scanned:the drive list could not be read (") +
                      (c.op == Op::DriveBlock ? "no memory for it" : "error 122") + ")",
                  run.log[3]);
        EXPECT_EQ(0u, run.log[4].rfind("Summary...Folders:0, ", 0)) << run.log[4];
        EXPECT_NE(std::string::npos, run.log[4].find(", Roots:0, ")) << run.log[4];
        EXPECT_EQ("End...", run.log[5]);
    }
}

}  // namespace
