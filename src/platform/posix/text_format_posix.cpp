// Bounded formatting on POSIX: vsnprintf, a cut reported as -1 as _vsnprintf reports it.
#include "platform/text_format.h"

#include <cstdio>

namespace platform {

int FormatLimited(char* buffer, size_t limit, const char* format, va_list args) {
    // vsnprintf keeps room for the zero and reports the full length of a cut
    // text; with `limit` + 1 bytes of room it keeps the same `limit` bytes as
    // _vsnprintf, and a cut is reported as -1 like there. It always ends
    // what it wrote with a zero, so the buffer need not be zeroed first.
    const int length = std::vsnprintf(buffer, limit + 1, format, args);
    if (length < 0 || static_cast<size_t>(length) > limit) {
        return -1;
    }
    return length;
}

}  // namespace platform
