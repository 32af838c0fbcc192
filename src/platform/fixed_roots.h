// The roots of the machine's fixed local disks, in the system's order: on
// Windows the drive letter and colon of every fixed drive, in drive-string
// order; on POSIX the mount point (without a trailing "/", so the root
// filesystem is "") of each local filesystem on a non-removable block
// device, first mount of each device only, in mount-table order.
#pragma once

#include <string>
#include <vector>

#include "platform/step_result.h"
#include "platform/types.h"

namespace platform {

enum class RootListStep {
    None,
    SizeQuery,  // GetLogicalDriveStringsW(0, NULL) (POSIX: reading the mount table)
    Alloc,      // the drive-string block
    FillQuery,  // GetLogicalDriveStringsW(n, block)
};

// Appends the roots to `roots`; when a step fails, `roots` holds nothing new.
StepResult<RootListStep> ListFixedRoots(std::vector<PathString>* roots);

// Why a listing that gave `listed` found no root, in a few words for the
// operator (ASCII): what could not be read, with the system's code, or that
// nothing there qualified. POSIX: "/proc/self/mountinfo could not be read
// (error 2)", "/sys could not be read (error 2), so no disk could be told
// fixed"; Windows: "the drive list could not be read (error 21)", "the drive
// list holds no fixed drive". Asked right after the listing.
std::string NoRootsReason(const StepResult<RootListStep>& listed);

}  // namespace platform
