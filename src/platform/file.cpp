// The parts of platform::File that do not depend on the OS: the exact
// transfers. The backends supply the opens, the calls and the handle's close.
#include "platform/file.h"

namespace platform {

bool File::ReadExact(void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!Read(buffer, count, &done)) {
        return false;
    }
    if (done != count) {
        error_ = kErrorShortTransfer;
        return false;
    }
    return true;
}

bool File::WriteExact(const void* buffer, uint32_t count) {
    uint32_t done = 0;
    if (!Write(buffer, count, &done)) {
        return false;
    }
    if (done != count) {
        error_ = kErrorShortTransfer;
        return false;
    }
    return true;
}

}  // namespace platform
