// platform::File on POSIX: one descriptor. Sharing and open attributes have
// no POSIX meaning and are ignored; reads and writes loop over short
// transfers and EINTR so one call moves all it can. errno is taken on the
// failing line.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"

namespace platform {

bool File::Open(const PathChar* path, FileAccess access, uint32_t /*share*/,
                FileAttribute /*attribute*/) {
    Close();
    const int mode = access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY;
    const int fd = open(path, mode | O_CLOEXEC);
    if (fd < 0) {
        error_ = static_cast<OsError>(errno);
        return false;
    }
    handle_ = fd;
    return true;
}

bool File::SizeLow(uint32_t* size) {
    struct stat info;
    if (fstat(static_cast<int>(handle_), &info) != 0) {
        error_ = static_cast<OsError>(errno);
        return false;
    }
    const uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size));
    if (low == 0xFFFFFFFFu) {
        // Indistinguishable from the failure value of a low-part size query.
        error_ = EOVERFLOW;
        return false;
    }
    *size = low;
    return true;
}

bool File::Seek(int32_t distance, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::End ? SEEK_END : SEEK_SET;
    // lseek itself refuses a position before the start with EINVAL.
    if (lseek(static_cast<int>(handle_), static_cast<off_t>(distance), whence) < 0) {
        error_ = static_cast<OsError>(errno);
        return false;
    }
    return true;
}

bool File::Read(void* buffer, uint32_t count, uint32_t* done) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        const ssize_t got = read(static_cast<int>(handle_), out + total, count - total);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = static_cast<OsError>(errno);
            return false;
        }
        if (got == 0) {
            break;  // end of file: a short read still succeeds
        }
        total += static_cast<uint32_t>(got);
    }
    if (done != nullptr) {
        *done = total;
    }
    return true;
}

bool File::Write(const void* buffer, uint32_t count, uint32_t* done) {
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        const ssize_t put = write(static_cast<int>(handle_), in + total, count - total);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = static_cast<OsError>(errno);
            return false;
        }
        if (put == 0) {
            break;  // nothing more can be written; the count tells
        }
        total += static_cast<uint32_t>(put);
    }
    if (done != nullptr) {
        *done = total;
    }
    return true;
}

bool File::SetEnd() {
    const int fd = static_cast<int>(handle_);
    const off_t here = lseek(fd, 0, SEEK_CUR);
    if (here < 0) {
        error_ = static_cast<OsError>(errno);
        return false;
    }
    while (ftruncate(fd, here) != 0) {
        if (errno != EINTR) {
            error_ = static_cast<OsError>(errno);
            return false;
        }
    }
    return true;
}

void File::Close() {
    if (handle_ != -1) {
        close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

}  // namespace platform
