// platform::DynamicLibrary on Win32: LoadLibraryW, GetProcAddress and
// FreeLibrary. GetLastError() is taken on the failing line.
#include <windows.h>

#include "platform/dynamic_library.h"

namespace platform {

void DynamicLibrary::HandleTraits::Close(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}

bool DynamicLibrary::Load(const PathChar* path) {
    Free();
    if (path == nullptr || path[0] == L'\0') {
        error_ = ERROR_INVALID_NAME;
        return false;
    }
    HMODULE module = LoadLibraryW(path);
    if (module == nullptr) {
        error_ = GetLastError();
        return false;
    }
    handle_.Reset(module);
    return true;
}

void* DynamicLibrary::Symbol(const char* name) {
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_.Get()), name);
    if (address == nullptr) {
        error_ = GetLastError();
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

OsError ThreadLastError() {
    return GetLastError();
}

}  // namespace platform
