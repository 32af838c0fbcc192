// Paths beside the running executable.
#pragma once

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

}  // namespace platform
