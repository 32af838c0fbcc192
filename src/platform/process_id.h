// The id of the running process.
#pragma once

#include <cstdint>

namespace platform {

uint32_t CurrentProcessId();

}  // namespace platform
