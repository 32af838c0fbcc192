// Runs ScanMain with an injected fault and collects what it left.
#include "scan_main_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app/scan_main.h"
#include "platform/module_path.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace testsupport {

MainRun RunScanMain(const platform::fault::Rule& rule, bool check_only) {
    ScanRequest request;
    request.check_only = check_only;
    return RunScanMain(rule, request);
}

MainRun RunScanMain(const platform::fault::Rule& rule, const ScanRequest& request) {
    const std::filesystem::path log(platform::PathBesideExecutable(ZQ_T("ZQCindervane.log")));
    std::filesystem::remove(log);
    EXPECT_NE(nullptr, std::freopen(kNullDevice, "r", stdin));
    MainRun run;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    {
        platform::fault::Scoped fault(rule);
        run.exit_code = ScanMain(request);
    }
    run.error = ::testing::internal::GetCapturedStderr();
    run.console = ::testing::internal::GetCapturedStdout();
    if (std::filesystem::exists(log)) {
        for (const std::string& line : SplitCrLfLines(ReadText(log))) {
            std::string stamp;
            std::string message;
            run.log.push_back(SplitLogLine(line, &stamp, &message) ? message : line);
        }
    }
    std::filesystem::remove(log);
    return run;
}

}  // namespace testsupport
