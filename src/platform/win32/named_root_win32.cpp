// A named folder or drive on Win32: the drive forms by their text,
// everything else through GetFullPathNameW, then GetFileAttributesW on the
// extended form.
#include <windows.h>

#include <vector>

#include "platform/ascii.h"
#include "platform/named_root.h"
#include "platform/path_forms.h"

namespace platform {

namespace {

bool IsDriveLetter(PathChar c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// "E:", "E:\" or "E:/": the drive's root, as "E:".
bool IsDriveRoot(const PathString& named) {
    return named.size() >= 2 && named.size() <= 3 && IsDriveLetter(named[0]) && named[1] == L':' &&
           (named.size() == 2 || named[2] == L'\\' || named[2] == L'/');
}

// The full path of `named`, or empty with `*error` set.
PathString FullPath(const PathString& named, OsError* error) {
    DWORD capacity = MAX_PATH;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<wchar_t> buffer(capacity);
        const DWORD length = GetFullPathNameW(named.c_str(), capacity, buffer.data(), nullptr);
        if (length == 0) {
            *error = GetLastError();
            return PathString();
        }
        if (length < capacity) {
            return PathString(buffer.data(), length);
        }
        capacity = length + 1;
    }
    *error = ERROR_INSUFFICIENT_BUFFER;
    return PathString();
}

}  // namespace

StepResult<NamedRootStep> ResolveNamedRoot(const PathString& named, PathString* root) {
    using Result = StepResult<NamedRootStep>;
    root->clear();
    PathString path;
    if (IsDriveRoot(named)) {
        path = PathString(1, static_cast<PathChar>(AsciiUpper(named[0]))) + L":";
    } else {
        OsError error = 0;
        path = FullPath(named, &error);
        if (path.empty()) {
            return Result::Failed(NamedRootStep::FullPath, error);
        }
        // No trailing separator: a drive's root is "E:", a share's
        // "\\server\share".
        while (path.size() > 2 && path.back() == L'\\') {
            path.pop_back();
        }
    }
    const DWORD attributes = GetFileAttributesW(SystemPath(path.c_str()).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Result::Failed(NamedRootStep::Attributes, GetLastError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Result::Failed(NamedRootStep::NotFolder, 0);
    }
    *root = path;
    return Result();
}

PathString NamedRootKey(const PathString& root) {
    PathString key = root;
    for (PathChar& c : key) {
        c = AsciiUpper(c);
    }
    return key;
}

}  // namespace platform
