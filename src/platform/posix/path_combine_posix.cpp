// platform::CombinePath on POSIX: the folder without its trailing slashes,
// one slash, and the relative path without its leading slashes. An empty
// folder gives the relative path alone, as PathCombineW does.
#include <errno.h>

#include <cstring>

#include "platform/path_combine.h"

namespace platform {

bool CombinePath(PathChar (&buffer)[kMaxPathChars], const PathChar* folder,
                 const PathChar* relative) {
    buffer[0] = '\0';
    size_t folder_length = std::strlen(folder);
    const bool has_folder = folder_length > 0;
    while (folder_length > 0 && folder[folder_length - 1] == '/') {
        --folder_length;
    }
    while (*relative == '/') {
        ++relative;
    }
    const size_t relative_length = std::strlen(relative);
    const size_t separator_length = has_folder ? 1 : 0;
    // The joined length plus its terminator must fit; each term is checked
    // against the room left so nothing can wrap.
    size_t room = kMaxPathChars - 1;
    if (folder_length > room) {
        return false;
    }
    room -= folder_length;
    if (separator_length > room) {
        return false;
    }
    room -= separator_length;
    if (relative_length > room) {
        return false;
    }
    std::memcpy(buffer, folder, folder_length);
    if (has_folder) {
        buffer[folder_length] = '/';
    }
    std::memcpy(buffer + folder_length + separator_length, relative, relative_length);
    buffer[folder_length + separator_length + relative_length] = '\0';
    return true;
}

const OsError kErrorBadPathname = EINVAL;

bool IsAbsolutePath(const PathChar* path) {
    return path != nullptr && path[0] == '/';
}

}  // namespace platform
