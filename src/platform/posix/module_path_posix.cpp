// The executable's folder from /proc/self/exe.
#include <string.h>
#include <unistd.h>

#include "platform/module_path.h"

namespace platform {

void PathBesideExecutable(const PathChar* file_name, PathChar* path, size_t capacity) {
    if (capacity == 0) {
        return;
    }
    memset(path, 0, capacity);
    const ssize_t length = readlink("/proc/self/exe", path, capacity - 1);
    size_t folder_end = 0;  // the length of the folder part, its last "/" included
    if (length > 0) {
        for (ssize_t i = 0; i < length; ++i) {
            if (path[i] == '/') {
                folder_end = static_cast<size_t>(i) + 1;
            }
        }
    }
    path[folder_end] = 0;
    const size_t name_length = strlen(file_name);
    if (name_length < capacity - folder_end) {
        memcpy(path + folder_end, file_name, name_length + 1);
    } else {
        path[0] = 0;  // no room: no log path rather than a cut one
    }
}

}  // namespace platform
