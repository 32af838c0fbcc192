// The executable's folder from /proc/self/exe, read whole.
#include <limits.h>
#include <unistd.h>

#include "platform/module_path.h"

namespace platform {

PathString PathBesideModule(const PathString& module_path, const PathChar* file_name) {
    const size_t separator = module_path.rfind('/');
    if (separator == PathString::npos) {
        return PathString();
    }
    PathString path = module_path.substr(0, separator + 1) + file_name;
    // The system's calls take no longer path (the backup adds a character).
    if (path.size() + 1 >= PATH_MAX) {
        return PathString();
    }
    return path;
}

PathString PathBesideExecutable(const PathChar* file_name) {
    // A link text that fills the buffer may have been cut: it is read again
    // with more room.
    const PathString module_path = ReadWholePath(
        [](PathChar* buffer, size_t capacity) -> size_t {
            const ssize_t length = readlink("/proc/self/exe", buffer, capacity);
            return length > 0 ? static_cast<size_t>(length) : 0;
        },
        PATH_MAX, 16 * PATH_MAX);
    return module_path.empty() ? PathString() : PathBesideModule(module_path, file_name);
}

}  // namespace platform
