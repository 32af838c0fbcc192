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
    return DisinfectFile(path, result, InfectionSignatures);
}

BOOL DisinfectFile(const PathChar* path, ScanResult* result, const SignatureList& signatures) {
    BOOL infected = FALSE;
    if (!CheckInfection(path, &infected, signatures)) {
        *result = Error;
        return FALSE;
    }
    if (!infected) {
        *result = Safe;
        return TRUE;
    }
    QuarantineLibrary().QuarantineFile(path, kDetectionName, 0);
    if (RestoreHost(path)) {
        *result = Fixed;
        return TRUE;
    }
    *result = Error;
    return FALSE;
}
