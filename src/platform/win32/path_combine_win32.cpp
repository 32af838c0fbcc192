// platform::CombinePath on Win32: the folder without its trailing
// separators, one backslash, and the relative path without its leading
// separators; an empty folder gives the relative path alone. Joined here
// rather than by PathCombineW, whose library (SHLWAPI) brings user32 and
// gdi32 into the process, and a console program that loads them is no
// longer sent the logoff and shutdown events. "." and ".." are left as
// they are: the system resolves them the same way when the path is opened.
#include <windows.h>

#include <cwchar>

#include "platform/path_combine.h"

namespace platform {

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

bool CombinePath(PathChar (&buffer)[kMaxPathChars], const PathChar* folder,
                 const PathChar* relative) {
    buffer[0] = L'\0';
    size_t folder_length = std::wcslen(folder);
    const bool has_folder = folder_length > 0;
    while (folder_length > 0 && IsSeparator(folder[folder_length - 1])) {
        --folder_length;
    }
    while (IsSeparator(*relative)) {
        ++relative;
    }
    const size_t relative_length = std::wcslen(relative);
    const size_t separator_length = has_folder ? 1 : 0;
    // The joined length plus its terminator must fit; each term is checked
    // against the room left so nothing can wrap.
    size_t room = kMaxPathChars - 1;
    if (folder_length > room) {
        return false;
    }
    room -= folder_length;
    if (separator_length > room) {
        return false;
    }
    room -= separator_length;
    if (relative_length > room) {
        return false;
    }
    std::wmemcpy(buffer, folder, folder_length);
    if (has_folder) {
        buffer[folder_length] = L'\\';
    }
    std::wmemcpy(buffer + folder_length + separator_length, relative, relative_length);
    buffer[folder_length + separator_length + relative_length] = L'\0';
    return true;
}

const OsError kErrorBadPathname = ERROR_BAD_PATHNAME;

namespace {

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
