// The entry's steps, in order: locale, log, privilege, roots, scan, end.
#include "app/scan_main.h"

#include "app/scan_summary.h"
#include "log/logger.h"
#include "platform/console.h"
#include "platform/fixed_roots.h"
#include "platform/module_path.h"
#include "platform/monotonic_clock.h"
#include "scan/comm_func.h"
#include "scan/scan_folder.h"
#include "scan/scan_progress.h"

BOOL StartLog() {
    PathChar log_path[ZQ_FILE_PATH_CHARS] = {};
    platform::PathBesideExecutable(ZQ_T("ZQCindervane.log"), log_path, ZQ_FILE_PATH_CHARS);
    g_Logger.Init(log_path);
    return TRUE;
}

std::vector<PathString> CollectFixedRoots() {
    std::vector<PathString> roots;
    platform::RootListFailure failure;
    if (!platform::ListFixedRoots(&roots, &failure)) {
        switch (failure.step) {
            case platform::RootListStep::SizeQuery:
                g_Logger.Write("[%s][%d]Call GetLogicalDriveStrings failed: %d", "wmain", 395,
                               static_cast<int>(failure.error));
                break;
            case platform::RootListStep::Alloc:
                g_Logger.Write("[%s][%d]Alloc data for buffer failed", "wmain", 402);
                break;
            case platform::RootListStep::FillQuery:
                g_Logger.Write("[%s][%d]Call GetLogicalDriveStrings failed: %d", "wmain", 409,
                               static_cast<int>(failure.error));
                break;
            case platform::RootListStep::None:
                break;
        }
    }
    return roots;
}

void ScanRoots(const std::vector<PathString>& roots) {
    for (const PathString& root : roots) {
        g_Logger.Write("[%s][%d]Start Scanning Folder:" ZQ_PATH_FMT, "wmain", 440, root.c_str());
        ScanFolder(root.c_str());
    }
}

int ScanMain() {
    platform::SetConsoleLocale();
    StartLog();
    g_Logger.Write("Start...");
    platform::ConsoleWrite(ZQ_T("Start Scanning..."));
    // Not std::chrono::steady_clock: the runtime that the Windows program
    // links (XP-compatible) reads the wall clock there.
    const uint32_t started = platform::MonotonicMilliseconds();
    ResetScanStats();
    StartScanProgress();
    CommFunc::SetDebugPrivilege();
    const std::vector<PathString> roots = CollectFixedRoots();
    ScanRoots(roots);
    EndScanProgress();
    platform::ConsoleWrite(ZQ_T("End Scanning..."));
    const uint32_t elapsed_ms = platform::MonotonicMilliseconds() - started;
    g_Logger.Write("%s", ScanSummaryText(CurrentScanStats(), elapsed_ms).c_str());
    g_Logger.Write("End...");
    g_Logger.Stop();
    platform::PauseForKey();
    return 0;
}
