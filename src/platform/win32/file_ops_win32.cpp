#include "platform/file_ops.h"

#include <stdio.h>
#include <windows.h>

namespace platform {

bool ClearFileAttributes(const PathChar* path) {
    return SetFileAttributesW(path, 0) != 0;
}

bool DeleteFileAt(const PathChar* path) {
    return DeleteFileW(path) != 0;
}

bool MoveFileTo(const PathChar* from, const PathChar* to) {
    return MoveFileW(from, to) != 0;
}

std::FILE* OpenAppendStream(const PathChar* path) {
    return _wfopen(path, L"ab");
}

}  // namespace platform
