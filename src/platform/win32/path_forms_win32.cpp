// The forms of a path on Win32: the extended form for the system's calls,
// the plain one for other programs where it names the file as it is.
#include "platform/path_forms.h"

namespace platform {

PathString SystemPath(const PathChar* path) {
    return WindowsExtendedPath(path);
}

PathString PathForOtherPrograms(const PathChar* path) {
    return WindowsPlainPathNamesFile(path) ? PathString(path) : WindowsExtendedPath(path);
}

}  // namespace platform
