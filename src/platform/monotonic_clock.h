// A millisecond count that only moves forward, whatever happens to the
// wall clock; it wraps at 2^32, so differences are taken as uint32_t
// (right for spans under 49 days).
#pragma once

#include <cstdint>

namespace platform {

uint32_t MonotonicMilliseconds();

}  // namespace platform
