// The plain and extended forms of Windows paths, as text.
#include "platform/path_forms.h"

#include <cstdint>
#include <string>

#include "platform/ascii.h"

namespace platform {

namespace {

constexpr size_t kMaxPlainPathChars = 260;  // MAX_PATH, terminator included

bool StartsWith(const PathString& text, const PathChar* prefix) {
    return text.compare(0, std::char_traits<PathChar>::length(prefix), prefix) == 0;
}

// Whether `name` (a component) is "." or "..".
bool IsDotComponent(const PathString& name) {
    return name == ZQ_T(".") || name == ZQ_T("..");
}

// The components of `path` after its first `skip` characters.
template <typename Visit>
void ForEachComponent(const PathString& path, size_t skip, Visit visit) {
    size_t start = skip;
    while (start <= path.size()) {
        size_t end = path.find(ZQ_T('\\'), start);
        if (end == PathString::npos) {
            end = path.size();
        }
        if (end > start) {
            visit(path.substr(start, end - start));
        }
        start = end + 1;
    }
}

// Whether `digit`, the text after "COM" or "LPT", is a digit the system
// takes for a port's: 1 to 9, or the superscript one, two or three (U+00B9,
// U+00B2, U+00B3: Latin-1 digits too), one UTF-16 unit on Windows and two
// UTF-8 bytes in the narrow text of other systems.
bool IsPortDigit(const PathString& digit) {
    uint32_t code = 0;
    if (digit.size() == 1) {
        code = static_cast<uint32_t>(digit[0]);
        if (sizeof(PathChar) == 1 && code >= 0x80) {
            return false;  // a lone UTF-8 byte
        }
    } else if (sizeof(PathChar) == 1 && digit.size() == 2 &&
               static_cast<unsigned char>(digit[0]) == 0xC2) {
        code = static_cast<unsigned char>(digit[1]);  // U+0080 to U+00BF
    } else {
        return false;
    }
    return (code >= '1' && code <= '9') || code == 0xB9 || code == 0xB2 || code == 0xB3;
}

// Whether the component `name` is one the system takes for a device: its
// text before the first dot, without the spaces that end it, is a device's
// name.
bool IsDeviceName(const PathString& name) {
    PathString base = name.substr(0, name.find(ZQ_T('.')));
    while (!base.empty() && base.back() == ZQ_T(' ')) {
        base.pop_back();
    }
    for (PathChar& c : base) {
        c = AsciiUpper(c);
    }
    if (base == ZQ_T("CON") || base == ZQ_T("PRN") || base == ZQ_T("AUX") || base == ZQ_T("NUL")) {
        return true;
    }
    return base.size() > 3 && (StartsWith(base, ZQ_T("COM")) || StartsWith(base, ZQ_T("LPT"))) &&
           IsPortDigit(base.substr(3));
}

// Characters of the drive or share part of a plain absolute path ("C:" or
// "\\server\share"), 0 when it is none.
size_t RootLength(const PathString& path) {
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ZQ_T(':') &&
        (path.size() == 2 || path[2] == ZQ_T('\\'))) {
        return 2;
    }
    if (StartsWith(path, ZQ_T("\\\\")) && path.size() > 2 && path[2] != ZQ_T('?') &&
        path[2] != ZQ_T('.')) {
        const size_t server_end = path.find(ZQ_T('\\'), 2);
        if (server_end == PathString::npos || server_end == 2) {
            return 0;
        }
        const size_t share_end = path.find(ZQ_T('\\'), server_end + 1);
        if (share_end == server_end + 1) {
            return 0;
        }
        return share_end == PathString::npos ? path.size() : share_end;
    }
    return 0;
}

}  // namespace

PathString WindowsExtendedPath(const PathChar* path) {
    const PathString plain(path != nullptr ? path : ZQ_T(""));
    const size_t root = RootLength(plain);
    if (root == 0 || plain.find(ZQ_T('/')) != PathString::npos) {
        return plain;
    }
    bool dots = false;
    ForEachComponent(plain, root,
                     [&](const PathString& name) { dots = dots || IsDotComponent(name); });
    if (dots) {
        return plain;
    }
    if (root == 2) {
        PathString extended = ZQ_T("\\\\?\\") + plain;
        if (plain.size() == 2) {
            extended += ZQ_T('\\');  // "C:" alone names the drive's current folder
        }
        return extended;
    }
    return ZQ_T("\\\\?\\UNC\\") + plain.substr(2);
}

PathString WindowsBackslashPath(const PathChar* path) {
    PathString text(path != nullptr ? path : ZQ_T(""));
    for (PathChar& c : text) {
        if (c == ZQ_T('/')) {
            c = ZQ_T('\\');
        }
    }
    return text;
}

bool WindowsPlainPathNamesFile(const PathChar* path) {
    const PathString plain(path != nullptr ? path : ZQ_T(""));
    if (plain.size() >= kMaxPlainPathChars) {
        return false;
    }
    const size_t root = RootLength(plain);
    bool as_is = true;
    ForEachComponent(plain, root, [&](const PathString& name) {
        if (IsDotComponent(name)) {
            return;
        }
        if (name.back() == ZQ_T('.') || name.back() == ZQ_T(' ') || IsDeviceName(name)) {
            as_is = false;
        }
    });
    return as_is;
}

}  // namespace platform
