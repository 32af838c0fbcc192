// DisinfectFile: check, quarantine, repair.
#include "quarantine/disinfect_file.h"

#include "infect/check_infection.h"
#include "infect/restore_host.h"
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
    QuarantineLibrary().QuarantineFile(path, kDetectionName, 0);
    // Only the entry the check matched: the file must still carry the very
    // window that was found.
    const SignatureList found = {&matched, matched != nullptr ? 1u : 0u};
    if (RestoreHost(file, found)) {
        *result = ScanResult::Fixed;
        return TRUE;
    }
    *result = ScanResult::Error;
    return FALSE;
}
