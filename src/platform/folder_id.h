// The identity of a folder, the same for every path that reaches it (links
// and junctions included): volume serial number and file index on Windows,
// device and inode on POSIX.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

struct FolderId {
    uint64_t volume = 0;
    uint64_t index = 0;

    bool operator==(const FolderId& other) const {
        return volume == other.volume && index == other.index;
    }
};

// The identity of the folder at `folder_path` (a drive or filesystem root
// text as the walk uses it, or a folder below one). False, with `*error`,
// when the folder cannot be opened for the query.
bool GetFolderId(const PathChar* folder_path, FolderId* id, OsError* error);

}  // namespace platform
