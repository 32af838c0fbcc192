// platform::CombinePath on Win32: PathCombineW, which fails (returns null)
// rather than cut a path longer than MAX_PATH.
#include <windows.h>
#include <shlwapi.h>

#include "platform/path_combine.h"

namespace platform {

static_assert(kMaxPathChars == MAX_PATH, "the buffer PathCombineW writes is MAX_PATH long");

bool CombinePath(PathChar (&buffer)[kMaxPathChars], const PathChar* folder,
                 const PathChar* relative) {
    if (PathCombineW(buffer, folder, relative) == nullptr) {
        buffer[0] = L'\0';
        return false;
    }
    return true;
}

}  // namespace platform
