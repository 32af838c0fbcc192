// Raising the process's right to read every file: the debug privilege in the
// process token on Windows; on POSIX the file-access capabilities
// (CAP_DAC_READ_SEARCH, CAP_DAC_OVERRIDE) that the process is permitted to
// use, raised into its effective set.
#pragma once

#include "platform/types.h"

namespace platform {

enum class PrivilegeStep {
    None,              // no call failed
    OpenToken,         // OpenProcessToken (POSIX: reading the capability sets)
    LookupPrivilege,   // LookupPrivilegeValueW
    AdjustPrivileges,  // AdjustTokenPrivileges (POSIX: setting the effective set)
};

struct PrivilegeOutcome {
    bool enabled = false;  // the privilege is now in effect
    PrivilegeStep failed_step = PrivilegeStep::None;
    OsError error = 0;  // the failed call's code
};

// Enables the privilege. A process that does not hold it gets enabled false
// with no failed step.
PrivilegeOutcome EnableDebugPrivilege();

}  // namespace platform
