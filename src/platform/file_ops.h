// Whole-file operations by path (attributes, delete, rename) and the
// buffered append stream of a text file. Results are ignored by the log's
// rotation, so these report only success.
#pragma once

#include <cstdio>

#include "platform/types.h"

namespace platform {

// Clears the attributes (read-only, hidden, system) that would stop a
// delete or rename (SetFileAttributesW with 0). Nothing to do on POSIX,
// where the folder's permissions decide.
bool ClearFileAttributes(const PathChar* path);
bool DeleteFileAt(const PathChar* path);
// Renames `from` to `to`. On Windows it fails when `to` exists; POSIX's
// rename replaces it.
bool MoveFileTo(const PathChar* from, const PathChar* to);
// Opens `path` for appending bytes unchanged ("ab"), created when missing;
// null on failure. Closed with fclose. On POSIX only a regular file is
// opened: a link at `path` is not followed (a dangling one creates nothing)
// and a FIFO or device fails at once instead of blocking.
std::FILE* OpenAppendStream(const PathChar* path);
// The low 32 bits of the size of the existing file at `path`, opened for
// reading with read and write sharing (0xFFFFFFFF reads as 0). False when
// it cannot be opened; on POSIX also when it is not a regular file or is a
// link, which is never followed, and the open never blocks.
bool ExistingFileSizeLow(const PathChar* path, uint32_t* size);

}  // namespace platform
