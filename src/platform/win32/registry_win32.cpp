// The registry read on Win32: RegOpenKeyExW under HKEY_LOCAL_MACHINE with
// KEY_READ and no registry-view flag, RegQueryValueExW without a type for
// the size and then for the data, RegCloseKey when the key's scope ends.
#include <windows.h>

#include "platform/registry.h"
#include "platform/win32/win32_handles.h"

namespace platform {

static_assert(kRegistryNotFound == ERROR_FILE_NOT_FOUND, "statuses are Windows' own");

StepResult<RegistryReadStep> ReadMachineValue(const PathChar* subkey, const PathChar* name,
                                              uint32_t room, HeapBlock* block) {
    using Result = StepResult<RegistryReadStep>;
    win32::RegistryKeyHandle key;
    const LSTATUS open_status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, key.Receive());
    if (open_status != ERROR_SUCCESS) {
        return Result::Failed(RegistryReadStep::OpenKey, open_status);
    }
    DWORD size = 0;
    const LSTATUS size_status = RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size);
    if (size_status != ERROR_SUCCESS) {
        return Result::Failed(RegistryReadStep::QuerySize, size_status);
    }
    if (size > UINT32_MAX - room || !block->Allocate(size + room)) {
        return Result::Failed(RegistryReadStep::Alloc, 0);
    }
    // The query may fill only the value's own size; the room after it stays
    // zero.
    DWORD data_size = size;
    const LSTATUS data_status =
        RegQueryValueExW(key.Get(), name, nullptr, nullptr, block->Data(), &data_size);
    if (data_status != ERROR_SUCCESS) {
        return Result::Failed(RegistryReadStep::QueryValue, data_status);
    }
    return Result();
}

}  // namespace platform
