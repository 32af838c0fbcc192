// The Windows directory (GetWindowsDirectoryW), the folder the scan does not
// enter. A system without one gives the empty text.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

// Fills `buffer` (`capacity` characters, terminator included) with the
// Windows directory, without a trailing separator, or with "" when the
// system has none or the query fails.
void ReadWindowsDirectory(PathChar* buffer, uint32_t capacity);

}  // namespace platform
