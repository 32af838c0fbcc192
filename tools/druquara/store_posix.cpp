// The stand-in quarantine library's OS services on POSIX.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "store.h"

namespace druquara {

PathString LibraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) == 0 || info.dli_fname == nullptr) {
        errno = ENOENT;
        return PathString();
    }
    const PathString path = info.dli_fname;
    const size_t separator = path.find_last_of('/');
    if (separator == PathString::npos) {
        return PathString(".");
    }
    if (separator == 0) {
        return PathString("/");
    }
    return path.substr(0, separator);
}

bool MakeFolder(const PathString& folder) {
    if (mkdir(folder.c_str(), 0700) == 0) {
        return true;
    }
    const int error = errno;
    struct stat status {};
    if (stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return true;
    }
    errno = error;
    return false;
}

void RemoveFile(const PathString& path) {
    const int error = errno;
    unlink(path.c_str());
    errno = error;
}

void LocalTimeTexts(std::string* readable, std::string* compact) {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    *readable = text;
    std::strftime(text, sizeof(text), "%Y%m%d-%H%M%S", &local);
    *compact = text;
}

std::string ToUtf8(const PathChar* text) {
    return std::string(text);
}

PathString FromAscii(const std::string& text) {
    return text;
}

uint32_t ThreadError() {
    return static_cast<uint32_t>(errno);
}

void SetThreadError(uint32_t code) {
    errno = static_cast<int>(code);
}

SourceFile::~SourceFile() {
    if (handle_ != -1) {
        close(static_cast<int>(handle_));
    }
}

bool SourceFile::Open(const PathChar* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    handle_ = fd;
    return true;
}

bool SourceFile::Read(void* buffer, size_t capacity, size_t* got) {
    for (;;) {
        const ssize_t count = read(static_cast<int>(handle_), buffer, capacity);
        if (count >= 0) {
            *got = static_cast<size_t>(count);
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

NewFile::~NewFile() {
    if (handle_ != -1) {
        close(static_cast<int>(handle_));
    }
}

CreateResult NewFile::Create(const PathString& path) {
    // Owner-only and not executable: the copy is an infected program.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    }
    handle_ = fd;
    return CreateResult::Created;
}

bool NewFile::Write(const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t count = write(static_cast<int>(handle_), bytes, length);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (count == 0) {
            errno = EIO;
            return false;
        }
        bytes += count;
        length -= static_cast<size_t>(count);
    }
    return true;
}

bool NewFile::WriteAt(uint64_t offset, const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t count =
            pwrite(static_cast<int>(handle_), bytes, length, static_cast<off_t>(offset));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (count == 0) {
            errno = EIO;
            return false;
        }
        bytes += count;
        offset += static_cast<uint64_t>(count);
        length -= static_cast<size_t>(count);
    }
    return true;
}

bool NewFile::Commit() {
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    const bool synced = fsync(fd) == 0;
    const int error = errno;
    const bool closed = close(fd) == 0;
    if (!synced) {
        errno = error;
        return false;
    }
    return closed;
}

}  // namespace druquara
