// A folder the operator names on the command line, turned into the root
// form the walk takes: absolute, without a trailing separator (Windows: a
// drive "E:", "E:" or "E:\" alike; POSIX: the root filesystem "").
//
// Windows: "E:" and "E:\" name the drive's root (never the drive's current
// folder); any other path goes through GetFullPathNameW (relative to the
// current folder, "/" taken for "\", "." and ".." resolved), and
// GetFileAttributesW on its extended form must find a folder. Shares
// (\\server\share\folder) and removable drives are taken as they are.
// POSIX: realpath (symbolic links resolved, so a folder named twice through
// different links is one root), and stat must find a folder.
#pragma once

#include "platform/step_result.h"
#include "platform/types.h"

namespace platform {

enum class NamedRootStep {
    None,
    FullPath,    // GetFullPathNameW (POSIX: realpath)
    Attributes,  // GetFileAttributesW (POSIX: stat)
    NotFolder,   // it exists and is no folder (code 0)
};

// Sets `*root` to the root form of `named`; on failure `*root` is empty.
StepResult<NamedRootStep> ResolveNamedRoot(const PathString& named, PathString* root);

// The text by which two roots are the same folder: Windows compares drive
// letters and names without regard to ASCII case, POSIX exactly.
PathString NamedRootKey(const PathString& root);

}  // namespace platform
