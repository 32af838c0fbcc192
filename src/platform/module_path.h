// Paths beside the running executable.
#pragma once

#include <cstddef>
#include <functional>

#include "platform/types.h"

namespace platform {

// The path of `file_name` in the executable's folder. The executable's path
// is read whole, however long; it is never used cut, since a cut path names
// another folder. Empty when that path cannot be had, or when the result
// would be more than the file calls accept (the caller then goes without
// the file).
PathString PathBesideExecutable(const PathChar* file_name);

// The rule of PathBesideExecutable for a given executable path
// `module_path`: its folder (the text up to its last separator, which
// stays) followed by `file_name`. On Windows a result of 260 characters or
// more takes the "\\?\" form ("\\?\UNC\" for a share), which the file calls
// accept up to 32767 characters. Empty without a separator or beyond that
// limit.
PathString PathBesideModule(const PathString& module_path, const PathChar* file_name);

// Reads a text that `read(buffer, capacity)` writes as GetModuleFileNameW
// and readlink do: it returns the length written, 0 on failure, and the
// whole capacity when the text was cut (with or without a terminator). The
// buffer starts at `first_capacity` characters and doubles until the text
// fits. Empty on failure or when the text would need more than
// `max_capacity` characters.
using PathReader = std::function<size_t(PathChar* buffer, size_t capacity)>;
PathString ReadWholePath(const PathReader& read, size_t first_capacity, size_t max_capacity);

}  // namespace platform
