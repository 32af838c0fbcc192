// POSIX has no Windows directory: the scan excludes nothing.
#include "platform/windows_dir.h"

#include "platform/test_hooks.h"

namespace platform {

void ReadWindowsDirectory(PathChar* buffer, uint32_t capacity) {
    if constexpr (kTestHooks) {
        if (NamedWindowsDirectoryForTesting(buffer, capacity)) {
            return;
        }
    }
    if (capacity > 0) {
        buffer[0] = 0;
    }
}

}  // namespace platform
