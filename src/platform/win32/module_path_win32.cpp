// Paths beside the running executable on Win32: GetModuleFileNameW (no
// module) into a buffer that grows until the whole path fits.
#include <windows.h>

#include <vector>

#include "platform/module_path.h"

namespace platform {

namespace {

constexpr size_t kLongestPath = 32767;  // what the "\\?\" form allows

bool StartsWith(const PathString& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

}  // namespace

PathString PathBesideModule(const PathString& module_path, const PathChar* file_name) {
    const size_t separator = module_path.find_last_of(L"\\/");
    if (separator == PathString::npos) {
        return PathString();
    }
    PathString path = module_path.substr(0, separator + 1) + file_name;
    if (path.size() >= MAX_PATH && !StartsWith(path, L"\\\\?\\")) {
        if (StartsWith(path, L"\\\\")) {
            path = L"\\\\?\\UNC\\" + path.substr(2);
        } else if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') {
            path = L"\\\\?\\" + path;
        } else {
            return PathString();  // no long form for it
        }
    }
    // Room for the backup's extra character too.
    if (path.size() + 1 > kLongestPath) {
        return PathString();
    }
    return path;
}

PathString PathBesideExecutable(const PathChar* file_name) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            return PathString();
        }
        // A path that filled the buffer may have been cut (older systems
        // do not even end it with a zero then): read it again with more
        // room.
        if (length < size) {
            return PathBesideModule(PathString(buffer.data(), length), file_name);
        }
        if (buffer.size() > kLongestPath) {
            return PathString();
        }
        buffer.assign(buffer.size() * 2, 0);
    }
}

}  // namespace platform
