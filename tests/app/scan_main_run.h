// Runs the whole program pass (ScanMain) inside a test and hands back its
// exit code, console text and log lines.
#pragma once

#include <string>
#include <vector>

#include "app/scan_main.h"
#include "platform/fault_seam.h"

namespace testsupport {

struct MainRun {
    int exit_code = -1;
    std::string console;
    std::string error;             // standard error
    std::vector<std::string> log;  // the messages, timestamps removed
};

// ScanMain (`check_only` as given) with `rule` armed for the whole pass. The
// log is the one beside the test program (removed before and after);
// standard input is the null device and the output streams are captured,
// so there is no pause and no closing line.
MainRun RunScanMain(const platform::fault::Rule& rule, bool check_only = false);
// The same for any request (named roots, a required backup).
MainRun RunScanMain(const platform::fault::Rule& rule, const ScanRequest& request);

}  // namespace testsupport
