// Which file an open names, and which file the first open through it found.
//
// The walk hands each file on as a FileRef, so every step that opens it (the
// image test, the signature check, the repair) reaches the same file:
// - On POSIX the file is opened by its name relative to its folder's open
//   descriptor, never following a symbolic link, never blocking on a FIFO,
//   and only when it is a regular file on the folder's filesystem. The first
//   open pins the file's device and inode; a later open that finds another
//   file (one renamed over it meanwhile) fails with kErrorFileReplaced.
// - On Windows the file is opened by its full path (the folder fields are
//   unused and nothing is pinned); the repair's open refuses a reparse point.
// A FileRef made from a path alone opens that path (POSIX: without
// following a link in its last component).
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

struct FileRef {
    explicit FileRef(const PathChar* full_path) : path(full_path) {}

    const PathChar* path;  // the full path, as logged and as Windows opens it

    // POSIX only: the open folder that holds the file, its name there and
    // the folder's filesystem. folder -1: open `path` itself.
    intptr_t folder = -1;
    const PathChar* name = nullptr;
    bool has_device = false;
    uint64_t device = 0;

    // Set by the first successful open (POSIX): the file it found.
    bool pinned = false;
    uint64_t pinned_device = 0;
    uint64_t pinned_inode = 0;
};

}  // namespace platform
