#include "platform/file_ops.h"

#include <stdio.h>
#include <unistd.h>

namespace platform {

bool ClearFileAttributes(const PathChar* path) {
    // A read-only file is deleted or renamed by the folder's permissions.
    return true;
}

bool DeleteFileAt(const PathChar* path) {
    return unlink(path) == 0;
}

bool MoveFileTo(const PathChar* from, const PathChar* to) {
    return rename(from, to) == 0;
}

std::FILE* OpenAppendStream(const PathChar* path) {
    return std::fopen(path, "ab");
}

}  // namespace platform
