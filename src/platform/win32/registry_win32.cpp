// platform::RegistryKey on Win32: RegOpenKeyExW under HKEY_LOCAL_MACHINE
// with KEY_READ and no registry-view flag, RegQueryValueExW without a type,
// RegCloseKey. Each call's own status is handed back.
#include <windows.h>

#include "platform/registry.h"

namespace platform {

static_assert(kRegistryNotFound == ERROR_FILE_NOT_FOUND, "statuses are Windows' own");
static_assert(kRegistryMoreData == ERROR_MORE_DATA, "statuses are Windows' own");

RegistryKey::~RegistryKey() {
    Close();
}

RegistryStatus RegistryKey::OpenMachineKey(const PathChar* subkey) {
    Close();
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    handle_ = key;
    return kRegistryOk;
}

RegistryStatus RegistryKey::QueryValueSize(const PathChar* name, uint32_t* size) {
    DWORD bytes = 0;
    const LSTATUS status =
        RegQueryValueExW(static_cast<HKEY>(handle_), name, nullptr, nullptr, nullptr, &bytes);
    *size = bytes;
    return status;
}

RegistryStatus RegistryKey::QueryValue(const PathChar* name, void* data, uint32_t* size) {
    DWORD bytes = *size;
    const LSTATUS status = RegQueryValueExW(static_cast<HKEY>(handle_), name, nullptr, nullptr,
                                            static_cast<BYTE*>(data), &bytes);
    *size = bytes;
    return status;
}

void RegistryKey::Close() {
    if (handle_ != nullptr) {
        RegCloseKey(static_cast<HKEY>(handle_));
        handle_ = nullptr;
    }
}

}  // namespace platform
