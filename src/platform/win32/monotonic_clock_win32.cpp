// The monotonic millisecond count on Windows: GetTickCount (Windows XP has
// no GetTickCount64; the count wraps after 49.7 days, which the uint32_t
// differences of its callers allow for).
#include <windows.h>

#include "platform/monotonic_clock.h"

namespace platform {

uint32_t MonotonicMilliseconds() {
    return GetTickCount();
}

}  // namespace platform
