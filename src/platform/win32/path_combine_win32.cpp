// Paths on Win32: "\\" and "/" separate, and what makes a path absolute.
// The join itself is the platform's own (path_combine.cpp), not
// PathCombineW, whose library (SHLWAPI) brings user32 and gdi32 into the
// process: a console program that loads them is no longer sent the logoff
// and shutdown events.
#include <windows.h>

#include "platform/ascii.h"
#include "platform/path_combine.h"

namespace platform {

bool IsPathSeparator(PathChar c) {
    return c == L'\\' || c == L'/';
}

const OsError kErrorBadPathname = ERROR_BAD_PATHNAME;

namespace {

// A run of characters up to the next separator or the end; its length.
size_t PartLength(const wchar_t* text) {
    size_t length = 0;
    while (text[length] != L'\0' && !IsPathSeparator(text[length])) {
        ++length;
    }
    return length;
}

}  // namespace

bool IsAbsolutePath(const PathChar* path) {
    if (path == nullptr) {
        return false;
    }
    if (IsAsciiLetter(path[0]) && path[1] == L':' && IsPathSeparator(path[2])) {
        return true;  // X:\...
    }
    if (!IsPathSeparator(path[0]) || !IsPathSeparator(path[1])) {
        return false;  // relative, drive-relative ("C:suite") or rooted ("\\suite")
    }
    // \\server\share...: a server name, a separator, a share name.
    const wchar_t* server = path + 2;
    const size_t server_length = PartLength(server);
    if (server_length == 0 || !IsPathSeparator(server[server_length])) {
        return false;
    }
    return PartLength(server + server_length + 1) > 0;
}

}  // namespace platform
