// The POSIX backend's owned handles: a descriptor, a memory mapping, a
// stream and a folder listing.
#pragma once

#include <dirent.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>

#include "platform/scoped_handle.h"

namespace platform {
namespace posix {

struct FdTraits {
    using Value = int;
    static Value Invalid() { return -1; }
    static bool IsValid(Value value) { return value >= 0; }
    static void Close(Value value) { ::close(value); }
};

// A region of mmap, released with munmap.
struct Mapping {
    void* address = MAP_FAILED;
    size_t length = 0;
};

struct MappingTraits {
    using Value = Mapping;
    static Value Invalid() { return Mapping(); }
    static bool IsValid(const Value& value) { return value.address != MAP_FAILED; }
    static void Close(const Value& value) { munmap(value.address, value.length); }
};

// A stream of fopen.
struct StreamTraits : NullableHandleTraits<FILE*> {
    static void Close(Value value) { fclose(value); }
};

// A folder listing of opendir.
struct DirTraits : NullableHandleTraits<DIR*> {
    static void Close(Value value) { closedir(value); }
};

using ScopedFd = ScopedHandle<FdTraits>;
using ScopedStream = ScopedHandle<StreamTraits>;
using ScopedDir = ScopedHandle<DirTraits>;
using ScopedMapping = ScopedHandle<MappingTraits>;

}  // namespace posix
}  // namespace platform
