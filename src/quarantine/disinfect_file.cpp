// DisinfectFile: check, quarantine, repair.
#include "quarantine/disinfect_file.h"

#include "infect/check_infection.h"
#include "infect/restore_host.h"
#include "log/logger.h"
#include "platform/path_text.h"
#include "quarantine/druquara_wrap.h"

const PathChar* const kDetectionName = ZQ_T("3rd.Infect.Cindervane");

namespace {

// Created at the first infected file; destroyed at process exit, before the
// process-wide logger (which was constructed earlier).
DruquaraWrap& QuarantineLibrary() {
    static DruquaraWrap instance;
    return instance;
}

}  // namespace

BOOL DisinfectFile(const PathChar* path, ScanResult* result) {
    platform::FileRef file(path);
    return DisinfectFile(file, result, DisinfectOptions());
}

BOOL DisinfectFile(platform::FileRef& file, ScanResult* result, const DisinfectOptions& options) {
    const PathChar* path = file.path;
    BOOL infected = FALSE;
    const char* matched = nullptr;
    if (!CheckInfection(file, &infected, *options.signatures, &matched, options.window)) {
        *result = ScanResult::Error;
        return FALSE;
    }
    if (!infected) {
        *result = ScanResult::Safe;
        return TRUE;
    }
    if (options.check_only) {
        *result = ScanResult::Infected;
        return TRUE;
    }
    if (options.before_changes) {
        options.before_changes();
    }
    const bool backed_up = QuarantineLibrary().QuarantineFile(path, kDetectionName, 0);
    if (!backed_up && options.backup_failed != nullptr) {
        *options.backup_failed = true;
    }
    if (!backed_up && options.require_backup) {
        g_Logger.WritePath("[%s][%d]No backup kept, not repaired:%s", "DisinfectFile", 153,
                           platform::PathText(path).c_str());
        *result = ScanResult::Infected;
        return TRUE;
    }
    // Only the entry the check matched: the file must still carry the very
    // window that was found.
    const SignatureList found = {&matched, matched != nullptr ? 1u : 0u};
    if (RestoreHost(file, found)) {
        if (!backed_up) {
            g_Logger.WritePath("[%s][%d]No backup kept, repaired anyway:%s", "DisinfectFile", 152,
                               platform::PathText(path).c_str());
        }
        *result = ScanResult::Fixed;
        return TRUE;
    }
    *result = ScanResult::Error;
    return FALSE;
}

const char* BackupFailureReason() {
    return QuarantineLibrary().HasObject() ? "the quarantine library's backup failed"
                                           : "the quarantine library could not be loaded";
}
