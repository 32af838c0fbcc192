// platform::DynamicLibrary on Win32: LoadLibraryExW, GetProcAddress and
// FreeLibrary. GetLastError() is taken on the failing line.
//
// The library is loaded with LOAD_WITH_ALTERED_SEARCH_PATH: the DLLs it
// imports are looked for first in its own folder, where its vendor keeps
// them, and not in this program's folder, which is wherever the program was
// copied to (a download or USB folder may hold anything under a system
// DLL's name). The flag exists since Windows XP, unlike the
// LOAD_LIBRARY_SEARCH_* flags, and is only defined for a full path, which is
// all the callers hand over (the wrapper refuses any other), written with
// backslashes: the flag's documentation asks for them, and with "/" (an
// install path written so in the registry) the loader may fall back to the
// standard search. Every "/" is turned into a backslash before the call.
#include <windows.h>

#include <string>

#include "platform/win32/win32_handles.h"

#include "platform/dynamic_library.h"
#include "platform/path_forms.h"

namespace platform {

void DynamicLibrary::HandleTraits::Close(void* handle) {
    win32::KeepingLastError([handle] { FreeLibrary(static_cast<HMODULE>(handle)); });
}

bool DynamicLibrary::Load(const PathChar* path) {
    Free();
    if (path == nullptr || path[0] == L'\0') {
        error_ = ERROR_INVALID_NAME;
        return false;
    }
    const std::wstring with_backslashes = WindowsBackslashPath(path);
    HMODULE module =
        LoadLibraryExW(with_backslashes.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
