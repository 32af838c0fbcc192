// Bounded formatting on Win32: the runtime's _vsnprintf.
#include "platform/text_format.h"

#include <stdio.h>
#include <string.h>

namespace platform {

int FormatLimited(char* buffer, size_t limit, const char* format, va_list args) {
    // msvcrt's own _vsnprintf (MinGW's C99 formatter, which the C++ headers
    // select for vsnprintf, does not know "%ws"). It writes at most `limit`
    // bytes and ends the text with a zero when there is room. A text of
    // exactly `limit` bytes is left unterminated: the byte after it ends
    // it. For a cut text, or a "%ws" it could not convert, it returns -1
    // without saying how much it wrote: that text is made again in a zeroed
    // buffer. A short text thus costs no zeroing of a large buffer.
    va_list again;
    va_copy(again, args);
    int result = _vsnprintf(buffer, limit, format, args);
    if (result < 0) {
        memset(buffer, 0, limit + 1);
        result = _vsnprintf(buffer, limit, format, again);
    } else if (static_cast<size_t>(result) >= limit) {
        buffer[limit] = 0;
    }
    va_end(again);
    return result;
}

}  // namespace platform
