// Joining a folder and a relative path into a fixed path buffer.
#pragma once

#include <cstddef>

#include "platform/types.h"

namespace platform {

// Characters of a fixed path buffer, terminator included (MAX_PATH).
constexpr size_t kMaxPathChars = 260;

// Joins `folder` and `relative` into `buffer` with exactly one separator
// between them, whether or not `folder` ends in one (PathCombineW on
// Windows, which also resolves "." and ".." parts). False when the joined
// path does not fit in the buffer with its terminator; `buffer` then holds
// the empty string, never a cut path.
bool CombinePath(PathChar (&buffer)[kMaxPathChars], const PathChar* folder,
                 const PathChar* relative);

}  // namespace platform
