// The identity of a folder, the same for every path that reaches it (links
// and junctions included): volume serial number and file index on Windows,
// device and inode on POSIX.
#pragma once

#include <cstdint>

namespace platform {

struct FolderId {
    uint64_t volume = 0;
    uint64_t index = 0;

    bool operator==(const FolderId& other) const {
        return volume == other.volume && index == other.index;
    }
};

}  // namespace platform
