// The Win32 backend's owned handles: each kind with its own release call.
#pragma once

#include <windows.h>

#include "platform/scoped_handle.h"

namespace platform {
namespace win32 {

// Runs `release` without changing the thread's last error: a handle released
// on the way out of a failed call must not replace the error that call left
// for its caller to read.
template <typename Release>
void KeepingLastError(Release release) {
    const DWORD error = GetLastError();
    release();
    SetLastError(error);
}

// A kernel object's handle (file, mapping, event, thread, token). Calls
// report failure with INVALID_HANDLE_VALUE or with NULL, so both own
// nothing.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value value) { return value != nullptr && value != INVALID_HANDLE_VALUE; }
    static void Close(Value value) {
        KeepingLastError([value] { CloseHandle(value); });
    }
};

// A directory search of FindFirstFileW.
struct FindHandleTraits {
    using Value = HANDLE;
    static Value Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Value value) { return value != INVALID_HANDLE_VALUE; }
    static void Close(Value value) {
        KeepingLastError([value] { FindClose(value); });
    }
};

// An open registry key of RegOpenKeyExW.
struct RegistryKeyTraits : NullableHandleTraits<HKEY> {
    static void Close(Value value) {
        KeepingLastError([value] { RegCloseKey(value); });
    }
};

// A library of LoadLibraryExW.
struct ModuleTraits : NullableHandleTraits<HMODULE> {
    static void Close(Value value) {
        KeepingLastError([value] { FreeLibrary(value); });
    }
};

// A view of MapViewOfFile.
struct MappedViewTraits : NullableHandleTraits<const void*> {
    static void Close(Value value) {
        KeepingLastError([value] { UnmapViewOfFile(value); });
    }
};

using KernelHandle = ScopedHandle<KernelHandleTraits>;
using FindHandle = ScopedHandle<FindHandleTraits>;
using RegistryKeyHandle = ScopedHandle<RegistryKeyTraits>;
using ModuleHandle = ScopedHandle<ModuleTraits>;
using MappedView = ScopedHandle<MappedViewTraits>;

}  // namespace win32
}  // namespace platform
