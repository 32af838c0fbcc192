// Joining a folder and a relative path into a fixed path buffer.
#pragma once

#include <cstddef>

#include "platform/types.h"

namespace platform {

// Characters of a fixed path buffer, terminator included (MAX_PATH).
constexpr size_t kMaxPathChars = 260;

// Joins `folder` and `relative` into `buffer` with exactly one separator
// between them, whether or not `folder` ends in one (a backslash on
// Windows, where "/" counts as a separator too); an empty `folder` gives
// `relative` alone. "." and ".." parts are kept as they are. False when the
// joined path does not fit in the buffer with its terminator; `buffer` then
// holds the empty string, never a cut path.
bool CombinePath(PathChar (&buffer)[kMaxPathChars], const PathChar* folder,
                 const PathChar* relative);

// Whether `c` separates the parts of a path: "\\" and "/" on Windows, "/" on
// POSIX.
bool IsPathSeparator(PathChar c);

// Whether `path` is absolute: "X:\..." (or "X:/...") or "\\server\share..."
// on Windows, "/..." on POSIX. Empty, relative and drive-relative ("C:suite")
// paths are not: they resolve against the current folder or a search path.
bool IsAbsolutePath(const PathChar* path);

// The code a refused relative path is reported with: ERROR_BAD_PATHNAME
// (161) on Windows, EINVAL on POSIX.
extern const OsError kErrorBadPathname;

}  // namespace platform
