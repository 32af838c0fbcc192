// The entry's steps, in order: locale, log, privilege, roots, scan, end.
#include "app/scan_main.h"

#include "app/scan_summary.h"
#include "log/logger.h"
#include "platform/console.h"
#include "platform/fixed_roots.h"
#include "platform/interrupt.h"
#include "platform/module_path.h"
#include "platform/monotonic_clock.h"
#include "platform/path_text.h"
#include "scan/comm_func.h"
#include "scan/scan_folder.h"
#include "scan/scan_progress.h"

BOOL StartLog() {
    // Empty when the executable's folder cannot be had or named: the log
    // then never opens, and is never written in another folder.
    const PathString log_path = platform::PathBesideExecutable(ZQ_T("ZQCindervane.log"));
    g_Logger.Init(log_path.c_str());
    return TRUE;
}

std::vector<PathString> CollectFixedRoots() {
    std::vector<PathString> roots;
    const platform::StepResult<platform::RootListStep> listed = platform::ListFixedRoots(&roots);
    if (!listed.Succeeded()) {
        switch (listed.step) {
            case platform::RootListStep::SizeQuery:
                g_Logger.Write("[%s][%d]Call GetLogicalDriveStrings failed: %d", "wmain", 395,
                               static_cast<int>(listed.code));
                break;
            case platform::RootListStep::Alloc:
                g_Logger.Write("[%s][%d]Alloc data for buffer failed", "wmain", 402);
                break;
            case platform::RootListStep::FillQuery:
                g_Logger.Write("[%s][%d]Call GetLogicalDriveStrings failed: %d", "wmain", 409,
                               static_cast<int>(listed.code));
                break;
            case platform::RootListStep::None:
                break;
        }
    }
    return roots;
}

void ScanRoots(const std::vector<PathString>& roots) {
    for (const PathString& root : roots) {
        if (platform::InterruptRequested()) {
            return;
        }
        g_Logger.WritePath("[%s][%d]Start Scanning Folder:%s", "wmain", 440,
                           platform::PathText(root.c_str()).c_str());
        ScanFolder(root.c_str());
    }
}

// The summary line of the scan that started at `started` (milliseconds of
// the monotonic clock).
void WriteSummary(uint32_t started) {
    const uint32_t elapsed_ms = platform::MonotonicMilliseconds() - started;
    g_Logger.Write("%s", ScanSummaryText(CurrentScanStats(), elapsed_ms).c_str());
}

void EndInterrupted(uint32_t started) {
    g_Logger.Write("[%s][%d]Scan interrupted (%s), ending before the next file", "wmain", 443,
                   platform::InterruptName());
    // No "End...": that line says that the last root was scanned.
    WriteSummary(started);
    platform::ConsoleFlush();
    g_Logger.Stop();
    // Ending the process this way runs no destructors: the logging switch
    // is released here.
    g_Logger.ReleaseSwitch();
    platform::EndAsInterrupted();
}

int ScanMain() {
    platform::SetConsoleLocale();
    platform::WatchInterrupts();
    StartLog();
    g_Logger.Write("Start...");
    platform::ConsoleWrite(ZQ_T("Start Scanning..."));
    platform::ConsoleFlush();
    // Not std::chrono::steady_clock: the runtime that the Windows program
    // links (XP-compatible) reads the wall clock there.
    const uint32_t started = platform::MonotonicMilliseconds();
    ResetScanStats();
    StartScanProgress();
    CommFunc::SetDebugPrivilege();
    const std::vector<PathString> roots = CollectFixedRoots();
    ScanRoots(roots);
    EndScanProgress();
    if (platform::InterruptRequested()) {
        EndInterrupted(started);
    }
    platform::ConsoleWrite(ZQ_T("End Scanning..."));
    WriteSummary(started);
    g_Logger.Write("End...");
    g_Logger.Stop();
    // From here an interrupt ends the program at once: everything is written.
    platform::StopWatchingInterrupts();
    // One that came after the last file: the log is complete, the pause is
    // not wanted.
    if (platform::InterruptRequested()) {
        platform::ConsoleFlush();
        g_Logger.ReleaseSwitch();
        platform::EndAsInterrupted();
    }
    platform::PauseForKey();
    return 0;
}
