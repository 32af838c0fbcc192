// platform::CombinePath: the folder without its trailing separators, one
// separator, and the relative path without its leading separators; an empty
// folder gives the relative path alone. "." and ".." are left as they are:
// the system resolves them the same way when the path is opened.
#include "platform/path_combine.h"

#include <string>

namespace platform {

bool CombinePath(PathChar (&buffer)[kMaxPathChars], const PathChar* folder,
                 const PathChar* relative) {
    using Traits = std::char_traits<PathChar>;
    buffer[0] = 0;
    size_t folder_length = Traits::length(folder);
    const bool has_folder = folder_length > 0;
    while (folder_length > 0 && IsPathSeparator(folder[folder_length - 1])) {
        --folder_length;
    }
    while (IsPathSeparator(*relative)) {
        ++relative;
    }
    const size_t relative_length = Traits::length(relative);
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
    Traits::copy(buffer, folder, folder_length);
    if (has_folder) {
        buffer[folder_length] = ZQ_PATH_SEP;
    }
    Traits::copy(buffer + folder_length + separator_length, relative, relative_length);
    buffer[folder_length + separator_length + relative_length] = 0;
    return true;
}

}  // namespace platform
