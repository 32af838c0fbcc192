// The identity of an open file or folder on Win32: its volume serial number
// and file index (GetFileInformationByHandle), the same for every path and
// link that reaches it.
#pragma once

#include <windows.h>

#include "platform/folder_id.h"

namespace platform {
namespace win32 {

// The identity of the open `handle`; false, with the call's last error, when
// it cannot be had.
inline bool ReadIdentity(HANDLE handle, FolderId* id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace win32
}  // namespace platform
