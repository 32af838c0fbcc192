// printf-style formatting into a fixed buffer with one contract on every
// platform (the one of msvcrt's _vsnprintf).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace platform {

// Formats into `buffer` writing at most `limit` bytes of text; `buffer`
// holds at least `limit` + 1 bytes. The text that results is the one a
// zero-filled buffer would hold after the formatter wrote into it, so it
// always ends in a zero (what lies after that zero is not specified: the
// backend zeroes the buffer first where the formatter may leave the text
// unterminated). Returns the text's length, or -1 when it had to be cut
// (the first `limit` bytes are then kept). On Windows a wide string is
// passed with "%ws" and converted through the locale set at start.
int FormatLimited(char* buffer, size_t limit, const char* format, va_list args);

}  // namespace platform
