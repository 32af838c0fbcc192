// The fate of one executable image: check it, and repair an infected one
// after handing it to the security suite's quarantine library.
#pragma once

#include <cstdint>
#include <functional>

#include "infect/check_infection.h"
#include "infect/infection_signatures.h"
#include "platform/file_ref.h"
#include "platform/types.h"

// The outcome of one examined file (a signed 32-bit value: 0, 2, -1).
enum class ScanResult : int32_t {
    Safe = 0,      // checked, not infected
    Infected = 1,  // check only: infected, left as it is
    Fixed = 2,     // infected and repaired
    Error = -1,    // the check could not be carried out, or the repair failed
};

// The detection name under which infected files go to quarantine.
extern const PathChar* const kDetectionName;

// How DisinfectFile treats one file beyond its path.
struct DisinfectOptions {
    // The list the check compares with.
    const SignatureList* signatures = &InfectionSignatures;
    // What the image test already holds of the file (optional).
    const HeldWindow* window = nullptr;
    // Check only: an infected file gives Infected, and nothing is handed to
    // the quarantine library or written (the library is not even loaded).
    bool check_only = false;
    // Repair only a file the quarantine library backed up: an infected file
    // whose backup failed (no library, or its call failed) is left as it
    // is, with line 153, and gives Infected.
    bool require_backup = false;
    // Set when the file was infected and its backup failed: repaired
    // anyway (line 152) or, with `require_backup`, left as it is.
    bool* backup_failed = nullptr;
    // Runs once the check has found the file infected, before the
    // quarantine call: the caller makes sure that nothing of its own holds
    // any file open or mapped while the file is backed up and rewritten.
    std::function<void()> before_changes;
};

// Checks `path` with CheckInfection. A clean file gives Safe. An infected
// one is handed to the quarantine library (QuarantineFile with the
// detection name and 0) and then repaired with RestoreHost: Fixed when the
// repair succeeded, Error otherwise; a failed check gives Error. `*result`
// is written on every path. TRUE for Safe, Infected and Fixed, FALSE for
// Error.
//
// The one DruquaraWrap of the process is created at the first infected file
// and lives until the process ends; a run without infected files never
// reads the suite's registry key or loads its library.
BOOL DisinfectFile(const PathChar* path, ScanResult* result);

// The same on the file `file` names (the walk's reference), as `options`
// say. The repair verifies, on its own handle, that the window still
// matches the entry the check matched, and (POSIX) that it opened the file
// the check read.
BOOL DisinfectFile(platform::FileRef& file, ScanResult* result, const DisinfectOptions& options);

// Why backups failed, for the operator: "the quarantine library could not
// be loaded" when the library gave no object, "the quarantine library's
// backup failed" when it did and a call failed. Asked only after a backup
// failed (the library is then loaded, or was tried).
const char* BackupFailureReason();
