// The forms of a path on POSIX: a path names its file as it is, so both
// forms are the path itself.
#include "platform/path_forms.h"

namespace platform {

PathString SystemPath(const PathChar* path) {
    return PathString(path);
}

PathString PathForOtherPrograms(const PathChar* path) {
    return PathString(path);
}

}  // namespace platform
