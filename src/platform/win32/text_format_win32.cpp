#include "platform/text_format.h"

#include <stdio.h>
#include <string.h>

namespace platform {

int FormatLimited(char* buffer, size_t limit, const char* format, va_list args) {
    // msvcrt's own _vsnprintf (MinGW's C99 formatter, which the C++ headers
    // select for vsnprintf, does not know "%ws"). It writes at most `limit`
    // bytes and returns -1 for a cut text, leaving it unterminated: the
    // zeroed buffer ends it.
    memset(buffer, 0, limit + 1);
    return _vsnprintf(buffer, limit, format, args);
}

}  // namespace platform
