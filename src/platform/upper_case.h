// Upper-casing of path text for case-insensitive comparison: the runtime's
// wide conversion under the current locale on Windows; ASCII letters only on
// POSIX, whose names are case-sensitive bytes.
#pragma once

#include "platform/types.h"

namespace platform {

// Converts the NUL-terminated `text` to upper case in place.
void UpperCaseInPlace(PathChar* text);

}  // namespace platform
