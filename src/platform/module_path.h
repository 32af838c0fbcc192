// Paths beside the running executable.
#pragma once

#include <cstddef>

#include "platform/types.h"

namespace platform {

// Fills `path` (`capacity` characters, terminator included; at least
// ZQ_FILE_PATH_CHARS) with the executable's folder, a separator and
// `file_name`. When the executable's path cannot be had, the folder part is
// empty.
void PathBesideExecutable(const PathChar* file_name, PathChar* path, size_t capacity);

}  // namespace platform
