// The executable's folder from /proc/self/exe, read whole.
#include <limits.h>
#include <unistd.h>

#include <vector>

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
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length <= 0) {
            return PathString();
        }
        // A link text that filled the buffer may have been cut.
        if (static_cast<size_t>(length) < buffer.size()) {
            return PathBesideModule(PathString(buffer.data(), static_cast<size_t>(length)),
                                    file_name);
        }
        if (buffer.size() >= 16 * PATH_MAX) {
            return PathString();
        }
        buffer.assign(buffer.size() * 2, 0);
    }
}

}  // namespace platform
