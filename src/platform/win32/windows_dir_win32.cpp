// The Windows directory from GetWindowsDirectoryW.
#include <windows.h>

#include "platform/windows_dir.h"

#include "platform/test_hooks.h"

namespace platform {

void ReadWindowsDirectory(PathChar* buffer, uint32_t capacity) {
    if constexpr (kTestHooks) {
        if (NamedWindowsDirectoryForTesting(buffer, capacity)) {
            return;
        }
    }
    if (capacity == 0) {
        return;
    }
    ZeroMemory(buffer, capacity * sizeof(PathChar));
    const UINT length = GetWindowsDirectoryW(buffer, capacity);
    if (length == 0 || length >= capacity) {
        buffer[0] = 0;  // failed, or too long for the buffer: nothing to exclude
    }
}

}  // namespace platform
