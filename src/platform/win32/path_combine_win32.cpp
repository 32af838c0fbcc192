// platform::CombinePath on Win32: PathCombineW, which fails (returns null)
// rather than cut a path longer than MAX_PATH.
#include <windows.h>
#include <shlwapi.h>

#include "platform/path_combine.h"

namespace platform {

static_assert(kMaxPathChars == MAX_PATH, "the buffer PathCombineW writes is MAX_PATH long");

bool CombinePath(PathChar (&buffer)[kMaxPathChars], const PathChar* folder,
                 const PathChar* relative) {
    if (PathCombineW(buffer, folder, relative) == nullptr) {
        buffer[0] = L'\0';
        return false;
    }
    return true;
}

const OsError kErrorBadPathname = ERROR_BAD_PATHNAME;

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// A run of characters up to the next separator or the end; its length.
size_t PartLength(const wchar_t* text) {
    size_t length = 0;
    while (text[length] != L'\0' && !IsSeparator(text[length])) {
        ++length;
    }
    return length;
}

}  // namespace

bool IsAbsolutePath(const PathChar* path) {
    if (path == nullptr) {
        return false;
    }
    const wchar_t letter = path[0];
    if (((letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z')) &&
        path[1] == L':' && IsSeparator(path[2])) {
        return true;  // X:\...
    }
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) {
        return false;  // relative, drive-relative ("C:suite") or rooted ("\\suite")
    }
    // \\server\share...: a server name, a separator, a share name.
    const wchar_t* server = path + 2;
    const size_t server_length = PartLength(server);
    if (server_length == 0 || !IsSeparator(server[server_length])) {
        return false;
    }
    return PartLength(server + server_length + 1) > 0;
}

}  // namespace platform
