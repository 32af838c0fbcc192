// The executable's folder from /proc/self/exe, read whole; where /proc is
// not mounted (a bare chroot), from the path the program was started by.
#include <limits.h>
#include <sys/auxv.h>
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

namespace {

// The file the kernel executed, as the caller of execve named it (the
// auxiliary vector's AT_EXECFN, which needs no /proc), made absolute
// against the folder the program started in; "" when there is none. The
// program never changes its folder, so the folder is still that one.
PathString StartedPath() {
    const char* name = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    if (name == nullptr || name[0] == '\0') {
        return PathString();
    }
    if (name[0] == '/') {
        return name;
    }
    while (name[0] == '.' && name[1] == '/') {
        name += 2;
    }
    // A folder beyond PATH_MAX leaves no room for the log's path anyway.
    char folder[PATH_MAX];
    if (getcwd(folder, sizeof folder) == nullptr || folder[0] != '/') {
        return PathString();
    }
    const PathString start(folder);
    return start + (start.back() == '/' ? "" : "/") + name;
}

}  // namespace

PathString PathBesideExecutable(const PathChar* file_name) {
    // A link text that fills the buffer may have been cut: it is read again
    // with more room.
    PathString module_path = ReadWholePath(
        [](PathChar* buffer, size_t capacity) -> size_t {
            const ssize_t length = readlink("/proc/self/exe", buffer, capacity);
            return length > 0 ? static_cast<size_t>(length) : 0;
        },
        PATH_MAX, 16 * PATH_MAX);
    if (module_path.empty()) {
        module_path = StartedPath();
    }
    return module_path.empty() ? PathString() : PathBesideModule(module_path, file_name);
}

}  // namespace platform
