// platform::File on POSIX: one descriptor. The file position lives in the
// object and every transfer is a pread/pwrite at it, so a seek costs no
// system call (only a seek from the end asks for the size). An intent asks
// for reading or for reading and writing: sharing and open attributes have
// no POSIX meaning. Transfers loop over short
// counts and EINTR so one call moves all it can. errno is taken on the
// failing line.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fault_seam.h"
#include "platform/file.h"
#include "platform/posix/posix_handles.h"

namespace platform {

const OsError kErrorNotRegular = EINVAL;
const OsError kErrorOtherFilesystem = EXDEV;
const OsError kErrorFileReplaced = ESTALE;
const OsError kErrorReparsePoint = ELOOP;
const OsError kErrorShortTransfer = EIO;
// No open for reading meets it (only one for writing a running program
// does): only an injected failure brings it.
const OsError kErrorSharingViolation = ETXTBSY;

namespace {

int AccessMode(FileIntent intent) {
    switch (intent) {
        case FileIntent::Repair:
            return O_RDWR;
        case FileIntent::ExamineImage:
        case FileIntent::CheckInfection:
            break;
    }
    return O_RDONLY;
}

}  // namespace

void File::HandleTraits::Close(intptr_t handle) {
    close(static_cast<int>(handle));
}

bool File::Open(const PathChar* path, FileIntent intent) {
    Close();
    const fault::Verdict injected = fault::Hit(fault::Op::Open);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    posix::ScopedFd fd(open(path, AccessMode(intent) | O_CLOEXEC));
    if (!fd.IsValid()) {
        error_ = static_cast<OsError>(errno);
        return false;
    }
    handle_.Reset(fd.Release());
    position_ = 0;
    return true;
}

bool File::Open(FileRef& ref, FileIntent intent) {
    Close();
    const fault::Verdict injected = fault::Hit(fault::Op::Open);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    const int flags = AccessMode(intent) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    const bool in_folder = ref.folder_ >= 0 && !ref.name_.empty();
    const int at = in_folder ? static_cast<int>(ref.folder_) : AT_FDCWD;
    const char* name = in_folder ? ref.name_.c_str() : ref.path;
    posix::ScopedFd fd;
    do {
        fd.Reset(openat(at, name, flags));
    } while (!fd.IsValid() && errno == EINTR);
    if (!fd.IsValid()) {
        error_ = static_cast<OsError>(errno);
        return false;
    }
    if (ref.listed && AccessMode(intent) == O_RDONLY) {
        // The listing's query stands for the file (file_ref.h): a read
        // costs no further query.
        handle_.Reset(fd.Release());
        position_ = 0;
        return true;
    }
    struct stat info;
    OsError refused = 0;
    if (fstat(fd.Get(), &info) != 0) {
        refused = static_cast<OsError>(errno);
    } else if (!S_ISREG(info.st_mode)) {
        refused = kErrorNotRegular;
    } else if (ref.has_device_ && static_cast<uint64_t>(info.st_dev) != ref.device_) {
        refused = kErrorOtherFilesystem;
    } else if (ref.pinned_ && (static_cast<uint64_t>(info.st_dev) != ref.pinned_device_ ||
                               static_cast<uint64_t>(info.st_ino) != ref.pinned_inode_)) {
        refused = kErrorFileReplaced;
    }
    if (refused != 0) {
        error_ = refused;
        return false;
    }
    if (!ref.pinned_) {
        ref.pinned_ = true;
        ref.pinned_device_ = static_cast<uint64_t>(info.st_dev);
        ref.pinned_inode_ = static_cast<uint64_t>(info.st_ino);
    }
    handle_.Reset(fd.Release());
    position_ = 0;
    return true;
}

bool File::SizeLow(uint32_t* size) {
    const fault::Verdict injected = fault::Hit(fault::Op::Size);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    struct stat info;
    if (fstat(static_cast<int>(handle_.Get()), &info) != 0) {
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
    const fault::Verdict injected = fault::Hit(fault::Op::Seek);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    int64_t base = 0;
    if (origin == SeekOrigin::End) {
        struct stat info;
        if (fstat(static_cast<int>(handle_.Get()), &info) != 0) {
            error_ = static_cast<OsError>(errno);
            return false;
        }
        base = static_cast<int64_t>(info.st_size);
    }
    const int64_t target = base + distance;
    if (target < 0) {
        error_ = EINVAL;  // as lseek refuses a position before the start
        return false;
    }
    position_ = target;
    return true;
}

bool File::Read(void* buffer, uint32_t count, uint32_t* done) {
    const fault::Verdict injected = fault::Hit(fault::Op::Read);
    if (injected.effect != fault::Effect::None && injected.bytes < count) {
        count = injected.bytes;
    }
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        const ssize_t got =
            pread(static_cast<int>(handle_.Get()), out + total, count - total, position_ + total);
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
    position_ += total;
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    if (done != nullptr) {
        *done = total;
    }
    return true;
}

bool File::Write(const void* buffer, uint32_t count, uint32_t* done) {
    const fault::Verdict injected = fault::Hit(fault::Op::Write);
    if (injected.effect != fault::Effect::None && injected.bytes < count) {
        count = injected.bytes;
    }
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        const ssize_t put =
            pwrite(static_cast<int>(handle_.Get()), in + total, count - total, position_ + total);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = static_cast<OsError>(errno);
            position_ += total;
            return false;
        }
        if (put == 0) {
            break;  // nothing more can be written; the count tells
        }
        total += static_cast<uint32_t>(put);
    }
    position_ += total;
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    if (done != nullptr) {
        *done = total;
    }
    return true;
}

bool File::SetEnd() {
    const fault::Verdict injected = fault::Hit(fault::Op::Truncate);
    if (injected.effect == fault::Effect::Fail) {
        error_ = injected.code;
        return false;
    }
    while (ftruncate(static_cast<int>(handle_.Get()), position_) != 0) {
        if (errno != EINTR) {
            error_ = static_cast<OsError>(errno);
            return false;
        }
    }
    return true;
}

}  // namespace platform
