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

// Test hook (builds with the tests only): from now on ReadWindowsDirectory
// gives `folder` in place of the system's answer (null: the system's again),
// so that a walk meets a Windows directory on every backend. Set before the
// walk; read by the thread that walks.
void SetWindowsDirectoryForTesting(const PathChar* folder);
// Fills `buffer` as ReadWindowsDirectory does with the folder a test named;
// false when none is named.
bool NamedWindowsDirectoryForTesting(PathChar* buffer, uint32_t capacity);

}  // namespace platform
