// POSIX has no Windows directory: the scan excludes nothing.
#include "platform/windows_dir.h"

namespace platform {

void ReadWindowsDirectory(PathChar* buffer, uint32_t capacity) {
    if (capacity > 0) {
        buffer[0] = 0;
    }
}

}  // namespace platform
