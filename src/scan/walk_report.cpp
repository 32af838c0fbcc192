// WalkReport: the walk's lines, counts and progress, and each file's fate.
#include "scan/walk_report.h"

#include "log/logger.h"
#include "platform/console.h"
#include "platform/path_text.h"
#include "scan/scan_progress.h"

namespace {

// What the console says of a file's result, and the counter it adds to.
struct ResultReport {
    const PathChar* text;
    ScanCounter counter;
};

ResultReport ReportOf(ScanResult result) {
    switch (result) {
        case ScanResult::Safe:
            return {ZQ_T("\tResult:Safe\n"), ScanCounter::Safe};
        case ScanResult::Infected:
            return {ZQ_T("\tResult:Infected\n"), ScanCounter::Infected};
        case ScanResult::Fixed:
            return {ZQ_T("\tResult:Is Fix\n"), ScanCounter::Fixed};
        case ScanResult::Error:
            break;
    }
    return {ZQ_T("\tResult:Error\n"), ScanCounter::Error};
}

}  // namespace

void WalkReport::PathLine(const char* format, int number, const PathString& path) {
    platform::PathText(path.c_str(), &shown_);
    g_Logger.WritePath(format, "ScanFolder", number, shown_.c_str());
}

void WalkReport::SearchFailed(OsError code) {
    g_Logger.Write("[%s][%d]Call FindFirstFile failed: %d", "ScanFolder", 275,
                   static_cast<int>(code));
}

void WalkReport::Count(ScanCounter counter) {
    CountScan(counter);
}

void WalkReport::Progress(const PathString& folder) {
    ScanProgressAt(folder.c_str());
}

bool WalkReport::File(platform::FileRef& ref, size_t folder_length, const ImageExam& exam,
                      const std::function<void()>& before_changes) {
    CountScan(ScanCounter::FilesSeen);
    folder_.assign(ref.path, folder_length);
    ScanProgressAt(folder_.c_str());
    // The shown form stays in shown_ for the file's console and result lines.
    platform::PathText(ref.path, &shown_);
    g_Logger.WritePath("[%s][%d]Start Scanning File:%s", "ScanFolder", 309, shown_.c_str());
    ReportImageExam(exam, ref.path);
    if (!exam.image) {
        g_Logger.Write("[%s][%d]Not PE-Type, no need to scan", "ScanFolder", 338);
        return false;
    }
    ScanResult result = ScanResult::Error;
    DisinfectOptions disinfect;
    disinfect.signatures = options_.signatures;
    disinfect.window = &exam.window;
    disinfect.check_only = options_.check_only;
    disinfect.require_backup = options_.require_backup;
    bool backup_failed = false;
    disinfect.backup_failed = &backup_failed;
    disinfect.before_changes = before_changes;
    DisinfectFile(ref, &result, disinfect);
    const ResultReport report = ReportOf(result);
    ScanProgressBeforeConsoleLine();
    platform::ConsoleWrite(ZQ_T("Path:"));
    platform::ConsoleWriteText(shown_);
    platform::ConsoleWrite(report.text);
    platform::ConsoleFlush();
    g_Logger.WritePath("[%s][%d]Path:%s, Result:%d", "ScanFolder", 334, shown_.c_str(),
                       static_cast<int>(result));
    CountScan(ScanCounter::ImagesExamined);
    CountScan(report.counter);
    if (result == ScanResult::Fixed && backup_failed) {
        CountScan(ScanCounter::FixedWithoutBackup);
    }
    return result != ScanResult::Safe && result != ScanResult::Infected;
}
