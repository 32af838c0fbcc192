// Whole-file operations on POSIX: rename, delete, the log's append stream and the size probe.
#include "platform/file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_handles.h"

namespace platform {

bool ClearFileAttributes(const PathChar* path) {
    // A read-only file is deleted or renamed by the folder's permissions.
    return true;
}

bool DeleteFileAt(const PathChar* path) {
    return unlink(path) == 0;
}

bool MoveFileTo(const PathChar* from, const PathChar* to) {
    return rename(from, to) == 0;
}

namespace {

// Opens `path` without following a link at it and without blocking, and
// keeps the descriptor only for a regular file; none otherwise.
posix::ScopedFd OpenRegular(const PathChar* path, int flags) {
    posix::ScopedFd fd(open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd.IsValid()) {
        return fd;
    }
    struct stat info;
    if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return posix::ScopedFd();
    }
    // Blocking again for the writes themselves.
    const int status = fcntl(fd.Get(), F_GETFL);
    if (status != -1) {
        fcntl(fd.Get(), F_SETFL, status & ~O_NONBLOCK);
    }
    return fd;
}

}  // namespace

std::FILE* OpenAppendStream(const PathChar* path) {
    posix::ScopedFd fd = OpenRegular(path, O_WRONLY | O_APPEND | O_CREAT);
    if (!fd.IsValid()) {
        return nullptr;
    }
    std::FILE* stream = fdopen(fd.Get(), "ab");
    if (stream != nullptr) {
        fd.Release();  // the stream owns it now
    }
    return stream;
}

bool ExistingFileSizeLow(const PathChar* path, uint32_t* size) {
    const posix::ScopedFd fd = OpenRegular(path, O_RDONLY);
    if (!fd.IsValid()) {
        return false;
    }
    struct stat info;
    *size = fstat(fd.Get(), &info) == 0 ? static_cast<uint32_t>(info.st_size) : 0;
    return true;
}

}  // namespace platform
