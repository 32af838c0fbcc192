#include "platform/text_format.h"

#include <stdio.h>

namespace platform {

int FormatLimited(char* buffer, size_t limit, const char* format, va_list args) {
    // msvcrt's own _vsnprintf (MinGW's C99 formatter, which the C++ headers
    // select for vsnprintf, does not know "%ws"). It writes at most `limit`
    // bytes and returns -1 for a cut text; the caller's zeroed buffer ends it.
    return _vsnprintf(buffer, limit, format, args);
}

}  // namespace platform
