// printf-style formatting into a fixed buffer with one contract on every
// platform (the one of msvcrt's _vsnprintf).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace platform {

// Formats into `buffer` writing at most `limit` bytes; `buffer` holds at
// least `limit` + 1 bytes and is zeroed by the caller, so the text always
// ends in a zero. Returns the text's length, or -1 when it had to be cut
// (the first `limit` bytes are then kept). On Windows a wide string is
// passed with "%ws" and converted through the locale set at start.
int FormatLimited(char* buffer, size_t limit, const char* format, va_list args);

}  // namespace platform
