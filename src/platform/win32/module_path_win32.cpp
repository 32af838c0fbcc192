// Paths beside the running executable on Win32: GetModuleFileNameW (no
// module) into a buffer that grows until the whole path fits.
#include <windows.h>

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
    // A path that fills the buffer may have been cut (older systems do not
    // even end it with a zero then): it is read again with more room.
    const PathString module_path = ReadWholePath(
        [](PathChar* buffer, size_t capacity) -> size_t {
            return GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(capacity));
        },
        MAX_PATH, 2 * kLongestPath);
    return module_path.empty() ? PathString() : PathBesideModule(module_path, file_name);
}

}  // namespace platform
