// A library loaded at run time, owned: freed by the destructor. Failures
// hand back the OS's own code (GetLastError() on Windows). dlopen and dlsym
// set no errno, so the POSIX backend reports: the file's own access error
// (ENOENT when it is missing) when it cannot be reached, ENOEXEC when it
// exists but cannot be loaded, ENOSYS when the export is missing.
#pragma once

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace platform {

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    DynamicLibrary(DynamicLibrary&& other) noexcept = default;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept = default;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library at `path`, a full path (LoadLibraryExW with
    // LOAD_WITH_ALTERED_SEARCH_PATH, so that the DLLs it imports are found
    // in its own folder first, not in this program's; dlopen with RTLD_NOW |
    // RTLD_LOCAL). An empty path names nothing and fails without a call, with
    // ERROR_INVALID_NAME (123) on Windows and ENOENT on POSIX.
    bool Load(const PathChar* path);

    // The address of the export `name` (GetProcAddress; dlsym), looked up by
    // its plain name; null when missing.
    void* Symbol(const char* name);

    // Frees the library (FreeLibrary; dlclose) if one is loaded.
    void Free() { handle_.Reset(); }

    bool IsLoaded() const { return handle_.IsValid(); }

    // The OS code of the last failed Load or Symbol.
    OsError Error() const { return error_; }

    // The library's handle (HMODULE; dlopen's); the backend frees it.
    struct HandleTraits : NullableHandleTraits<void*> {
        static void Close(Value value);
    };

  private:
    ScopedHandle<HandleTraits> handle_;
    OsError error_ = 0;
};

// The calling thread's last-error code (GetLastError(); errno), for reading
// right after a call into a loaded library.
OsError ThreadLastError();

}  // namespace platform
