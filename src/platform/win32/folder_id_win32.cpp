// Folder identity on Win32: volume serial number and file index from
// GetFileInformationByHandle on the folder opened with
// FILE_FLAG_BACKUP_SEMANTICS. A link or junction opens as its target, so it
// has its target's identity.
#include <windows.h>

#include <string>

#include "platform/folder_id.h"

namespace platform {

bool GetFolderId(const PathChar* folder_path, FolderId* id, OsError* error) {
    // A drive root is "C:", which alone names the drive's current folder.
    std::wstring path(folder_path);
    if (path.size() == 2 && path[1] == L':') {
        path += L'\\';
    }
    HANDLE folder = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        if (error != nullptr) {
            *error = GetLastError();
        }
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = GetFileInformationByHandle(folder, &info);
    const DWORD info_error = GetLastError();
    CloseHandle(folder);
    if (!ok) {
        if (error != nullptr) {
            *error = info_error;
        }
        return false;
    }
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace platform
