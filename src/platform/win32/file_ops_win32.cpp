// Whole-file operations on Win32: attributes, rename, delete, the log's append stream and the size probe.
#include "platform/file_ops.h"

#include <stdio.h>
#include <windows.h>

#include "platform/win32/win32_handles.h"

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

bool ExistingFileSizeLow(const PathChar* path, uint32_t* size) {
    const win32::KernelHandle file(CreateFileW(path, GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        return false;
    }
    const DWORD low = GetFileSize(file.Get(), nullptr);
    *size = low == INVALID_FILE_SIZE ? 0 : low;
    return true;
}

}  // namespace platform
