// Paths beside the running executable on Win32: GetModuleFileNameW (no
// module), PathRemoveFileSpecW, PathAddBackslashW, PathAppendW.
#include <windows.h>
#include <shlwapi.h>

#include "platform/module_path.h"

namespace platform {

void PathBesideExecutable(const PathChar* file_name, PathChar* path, size_t capacity) {
    if (capacity < MAX_PATH) {
        return;  // the shell path helpers assume MAX_PATH characters
    }
    ZeroMemory(path, capacity * sizeof(PathChar));
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    PathAddBackslashW(path);
    PathAppendW(path, file_name);
}

}  // namespace platform
