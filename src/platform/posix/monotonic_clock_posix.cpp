// The monotonic millisecond count on POSIX: CLOCK_MONOTONIC.
#include <time.h>

#include "platform/monotonic_clock.h"

namespace platform {

uint32_t MonotonicMilliseconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

}  // namespace platform
