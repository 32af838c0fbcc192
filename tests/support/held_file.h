// Files that tests hold or change while the scan is to meet them, opened the
// way another program would, with the sharing each case needs.
#pragma once

#include "platform/file.h"
#include "platform/types.h"

namespace testsupport {

enum class Hold {
    Update,       // reading and writing, every sharing
    KeepWriters,  // reading, sharing reading only: nobody writes meanwhile
    Exclusive,    // reading, no sharing (Windows): nobody opens it meanwhile
};

// Opens the existing file `path` into `file` as `how` says. False on failure.
// POSIX has no mandatory sharing: only Update opens for writing there.
bool OpenHeld(platform::File* file, const PathChar* path, Hold how);

}  // namespace testsupport
