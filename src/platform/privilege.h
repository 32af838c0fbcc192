// Raising the process's right to read every file: the debug privilege in the
// process token on Windows, and after it the backup privilege (reading any
// file opened with backup semantics, never writing; its own failure is not
// reported); on POSIX the file-access capabilities
// (CAP_DAC_READ_SEARCH, CAP_DAC_OVERRIDE) that the process is permitted to
// use, raised into its effective set.
#pragma once

#include "platform/step_result.h"

namespace platform {

enum class PrivilegeStep {
    None,              // no call failed
    OpenToken,         // OpenProcessToken (POSIX: reading the capability sets)
    LookupPrivilege,   // LookupPrivilegeValueW
    AdjustPrivileges,  // AdjustTokenPrivileges (POSIX: setting the effective set)
};

// Enables the privilege; `*enabled` says whether it is now in effect. A
// process that does not hold it gets false there and no failed step.
StepResult<PrivilegeStep> EnableDebugPrivilege(bool* enabled);

}  // namespace platform
