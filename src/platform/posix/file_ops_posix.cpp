#include "platform/file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

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
// keeps the descriptor only for a regular file; -1 otherwise.
int OpenRegular(const PathChar* path, int flags) {
    const int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    // Blocking again for the writes themselves.
    const int status = fcntl(fd, F_GETFL);
    if (status != -1) {
        fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    }
    return fd;
}

}  // namespace

std::FILE* OpenAppendStream(const PathChar* path) {
    const int fd = OpenRegular(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "ab");
    if (stream == nullptr) {
        close(fd);
    }
    return stream;
}

bool ExistingFileSizeLow(const PathChar* path, uint32_t* size) {
    const int fd = OpenRegular(path, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    *size = fstat(fd, &info) == 0 ? static_cast<uint32_t>(info.st_size) : 0;
    close(fd);
    return true;
}

}  // namespace platform
