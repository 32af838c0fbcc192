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
// null on failure. Closed with fclose.
std::FILE* OpenAppendStream(const PathChar* path);

}  // namespace platform
