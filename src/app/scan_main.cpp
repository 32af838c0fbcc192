// The entry's steps, in order: locale, log, privilege, roots, scan, end.
#include "app/scan_main.h"

#include <algorithm>

#include "app/command_line.h"
#include "app/run_outcome.h"
#include "app/scan_summary.h"
#include "infect/infection_signatures.h"
#include "log/logger.h"
#include "platform/console.h"
#include "platform/fixed_roots.h"
#include "platform/interrupt.h"
#include "platform/module_path.h"
#include "platform/monotonic_clock.h"
#include "platform/named_root.h"
#include "platform/path_text.h"
#include "platform/terminal.h"
#include "quarantine/disinfect_file.h"
#include "scan/comm_func.h"
#include "scan/scan_folder.h"
#include "scan/scan_progress.h"

PathString LogPath() {
    return platform::PathBesideExecutable(ZQ_T("ZQCindervane.log"));
}

BOOL StartLog() {
    // Empty when the executable's folder cannot be had or named: the log
    // then never opens, and is never written in another folder.
    const PathString log_path = LogPath();
    g_Logger.Init(log_path.c_str());
    return TRUE;
}

std::vector<PathString> CollectFixedRoots(std::string* none_reason) {
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
    if (roots.empty() && none_reason != nullptr) {
        *none_reason = platform::NoRootsReason(listed);
    }
    return roots;
}

std::vector<PathString> ScanRoots(const std::vector<PathString>& roots,
                                  const ScanOptions& options) {
    std::vector<PathString> unlisted;
    for (const PathString& root : roots) {
        if (platform::InterruptRequested()) {
            break;
        }
        g_Logger.WritePath("[%s][%d]Start Scanning Folder:%s", "wmain", 440,
                           platform::PathText(root.c_str()).c_str());
        // FALSE only when the root itself could not be listed (its line says
        // why); what fails below it is logged and counted by the walk.
        if (!ScanFolder(root.c_str(), options)) {
            unlisted.push_back(root);
        }
    }
    return unlisted;
}

namespace {

// The summary line of `run`.
void WriteSummary(const ScanRun& run) {
    const uint32_t elapsed_ms = platform::MonotonicMilliseconds() - run.started;
    g_Logger.Write(
        "%s", ScanSummaryText(CurrentScanStats(), run.roots, run.check_only, elapsed_ms).c_str());
}

// The program's version and its signature list, right after "Start...", so
// a log names what wrote it.
void WriteVersionLine() {
    g_Logger.Write("Version...%s, Signatures:%u", VersionText().c_str(),
                   static_cast<unsigned>(InfectionSignatures.count));
}

// The closing pause waits for a key only in a console window: standard
// output and standard input are both the terminal (or console). Output to a
// file or pipe, or input from one (a scheduled or remote run), skips it.
bool PauseWanted() {
    return platform::IsTerminal(platform::StdStream::Output) &&
           platform::IsTerminal(platform::StdStream::Input);
}

// What became of the log, once it stopped.
LogOutcome LogOutcomeOfRun(bool lines_lost) {
    LogOutcome log;
    log.shown_path = platform::PathText(LogPath().c_str());
    log.written = g_Logger.LinesWritten() > 0;
    log.complete = !lines_lost;
    return log;
}

// Writes `lines` to standard error, each ended by a line break. The
// console's text may end in the middle of a line ("Start Scanning..." and
// "End Scanning..." end without a line break): where standard output shares
// the place, the first starts a line of its own.
void TellLines(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    std::string text = platform::OutputSharedWithError() ? "\n" : "";
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    platform::ErrorWriteText(text);
}

// Standard error, after "End Scanning...": the log's lines that could not be
// written, a line when no root was found (and why) and one per root that
// could not be listed, whatever standard error is; then, only on a
// terminal, the closing line with the counts and the log's path. Standard
// output and the log are not touched.
void TellOperator(const std::vector<PathString>& roots, const std::string& none_reason,
                  const std::vector<PathString>& unlisted, bool check_only) {
    std::vector<std::string> lines;
    const std::string unwritten = g_Logger.UnwrittenLine();
    if (!unwritten.empty()) {
        lines.push_back(unwritten);
    }
    if (roots.empty()) {
        lines.push_back(NoRootsLine(none_reason));
    }
    for (const PathString& root : unlisted) {
        lines.push_back(UnlistedRootLine(platform::PathText(root.c_str())));
    }
    if (platform::IsTerminal(platform::StdStream::Error)) {
        const ScanStats stats = CurrentScanStats();
        const bool backup_failed =
            stats.fixed_without_backup > 0 || (!check_only && stats.infected > 0);
        lines.push_back(ClosingLine(stats, check_only, LogOutcomeOfRun(!unwritten.empty()),
                                    backup_failed ? BackupFailureReason() : ""));
    }
    TellLines(lines);
}

}  // namespace

void EndInterrupted(const ScanRun& run) {
    g_Logger.Write("[%s][%d]Scan interrupted (%s), ending before the next file", "wmain", 443,
                   platform::InterruptName());
    // No "End...": that line says that the last root was scanned.
    WriteSummary(run);
    platform::ConsoleFlush();
    g_Logger.Stop(Logger::StopReport::ToCaller);
    const std::string unwritten = g_Logger.UnwrittenLine();
    if (!unwritten.empty()) {
        TellLines({unwritten});
    }
    // Ending the process this way runs no destructors: the logging switch
    // is released here.
    g_Logger.ReleaseSwitch();
    platform::EndAsInterrupted();
}

bool ResolveNamedRoots(const std::vector<PathString>& paths, std::vector<PathString>* roots,
                       std::string* problem) {
    std::vector<PathString> keys;
    for (const PathString& path : paths) {
        PathString root;
        const platform::StepResult<platform::NamedRootStep> resolved =
            platform::ResolveNamedRoot(path, &root);
        if (!resolved.Succeeded()) {
            *problem = NamedPathLine(platform::PathText(path.c_str()),
                                     resolved.step == platform::NamedRootStep::NotFolder,
                                     static_cast<uint32_t>(resolved.code));
            return false;
        }
        const PathString key = platform::NamedRootKey(root);
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            keys.push_back(key);
            roots->push_back(root);
        }
    }
    return true;
}

int ScanMain(const ScanRequest& request) {
    const bool check_only = request.check_only;
    platform::SetConsoleLocale();
    platform::WatchInterrupts();
    StartLog();
    g_Logger.Write("Start...");
    WriteVersionLine();
    if (check_only) {
        g_Logger.Write("Check only: nothing is repaired");
    }
    platform::ConsoleWrite(ZQ_T("Start Scanning..."));
    platform::ConsoleFlush();
    ScanRun run;
    run.check_only = check_only;
    // Not std::chrono::steady_clock: the runtime that the Windows program
    // links (XP-compatible) reads the wall clock there.
    run.started = platform::MonotonicMilliseconds();
    ResetScanStats();
    StartScanProgress();
    CommFunc::SetDebugPrivilege();
    std::string none_reason;
    const std::vector<PathString> roots =
        request.named_roots.empty() ? CollectFixedRoots(&none_reason) : request.named_roots;
    if (roots.empty()) {
        g_Logger.Write("[%s][%d]Nothing scanned:%s", "wmain", 445, none_reason.c_str());
    }
    run.roots = roots.size();
    ScanOptions options;
    options.check_only = check_only;
    options.require_backup = request.require_backup;
    const std::vector<PathString> unlisted = ScanRoots(roots, options);
    EndScanProgress();
    if (platform::InterruptRequested()) {
        EndInterrupted(run);
    }
    platform::ConsoleWrite(ZQ_T("End Scanning..."));
    platform::ConsoleFlush();
    WriteSummary(run);
    g_Logger.Write("End...");
    g_Logger.Stop(Logger::StopReport::ToCaller);
    // From here an interrupt ends the program at once: everything is written.
    platform::StopWatchingInterrupts();
    // One that came after the last file: the log is complete, the pause is
    // not wanted.
    if (platform::InterruptRequested()) {
        platform::ConsoleFlush();
        g_Logger.ReleaseSwitch();
        platform::EndAsInterrupted();
    }
    TellOperator(roots, none_reason, unlisted, check_only);
    if (PauseWanted()) {
        platform::PauseForKey();
    }
    if (!check_only) {
        return RepairExitStatus(CurrentScanStats());
    }
    return CheckExitStatus(CurrentScanStats(), roots.empty() || !unlisted.empty());
}

int ProgramMain(const std::vector<PathString>& arguments, bool slash_switches) {
    const ProgramRequest program = ParseCommandLine(arguments, slash_switches);
    switch (program.action) {
        case ProgramAction::ShowUsage:
            platform::ConsoleWriteText(UsageText(slash_switches));
            platform::ConsoleFlush();
            return kExitDone;
        case ProgramAction::ShowVersion:
            platform::ConsoleWriteText(VersionText() + "\n");
            platform::ConsoleFlush();
            return kExitDone;
        case ProgramAction::BadUsage:
            // No scan and no log: the operator meant something else.
            platform::ErrorWriteText(
                "ZQCindervane: " +
                UnknownSwitchLine(platform::PathText(program.bad_argument.c_str())) + "\n\n" +
                UsageText(slash_switches));
            return kExitBadUsage;
        case ProgramAction::CheckOnly:
        case ProgramAction::Scan:
            break;
    }
    ScanRequest request;
    request.check_only = program.action == ProgramAction::CheckOnly;
    request.require_backup = program.require_backup;
    std::string problem;
    if (!ResolveNamedRoots(program.paths, &request.named_roots, &problem)) {
        // Nothing is scanned and nothing logged: a path that is no folder
        // is a mistake of the command, not a finding of the scan.
        platform::ErrorWriteText(problem + "\n");
        return kExitBadUsage;
    }
    return ScanMain(request);
}
