// Paths on POSIX: "/" separates, and a path beginning with it is absolute.
#include <errno.h>

#include "platform/path_combine.h"

namespace platform {

bool IsPathSeparator(PathChar c) {
    return c == '/';
}

const OsError kErrorBadPathname = EINVAL;

bool IsAbsolutePath(const PathChar* path) {
    return path != nullptr && path[0] == '/';
}

}  // namespace platform
