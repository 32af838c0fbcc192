// How many processors the system runs the process on.
#pragma once

#include <cstdint>

namespace platform {

// The number of processors online; at least 1.
uint32_t ProcessorCount();

}  // namespace platform
