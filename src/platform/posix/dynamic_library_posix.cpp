// platform::DynamicLibrary on POSIX: dlopen (RTLD_NOW | RTLD_LOCAL), dlsym and
// dlclose. dlopen and dlsym report through dlerror() text, not errno, so the
// codes are chosen here: the file's own access error (stat's errno, ENOENT
// when missing) when the file cannot be reached, ENOEXEC when it exists but
// cannot be loaded (wrong format, missing dependency), ENOSYS when the
// export is missing.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/dynamic_library.h"

namespace platform {

void DynamicLibrary::HandleTraits::Close(void* handle) {
    dlclose(handle);
}

bool DynamicLibrary::Load(const PathChar* path) {
    Free();
    if (path == nullptr || path[0] == '\0') {
        error_ = ENOENT;
        return false;
    }
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        struct stat status {};
        error_ = stat(path, &status) != 0 ? static_cast<OsError>(errno) : ENOEXEC;
        return false;
    }
    handle_.Reset(handle);
    return true;
}

void* DynamicLibrary::Symbol(const char* name) {
    void* address = dlsym(handle_.Get(), name);
    if (address == nullptr) {
        error_ = ENOSYS;
        return nullptr;
    }
    return address;
}

OsError ThreadLastError() {
    return static_cast<OsError>(errno);
}

}  // namespace platform
