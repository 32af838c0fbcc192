// Terminals on POSIX: isatty on the stream's descriptor.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace platform {

bool IsTerminal(StdStream stream) {
    switch (stream) {
        case StdStream::Input:
            return isatty(STDIN_FILENO) == 1;
        case StdStream::Output:
            return isatty(STDOUT_FILENO) == 1;
        case StdStream::Error:
            return isatty(STDERR_FILENO) == 1;
    }
    return false;
}

bool OutputSharedWithError() {
    if (IsTerminal(StdStream::Output) && IsTerminal(StdStream::Error)) {
        return true;
    }
    struct stat output {};
    struct stat error {};
    return fstat(STDOUT_FILENO, &output) == 0 && fstat(STDERR_FILENO, &error) == 0 &&
           S_ISREG(output.st_mode) && output.st_dev == error.st_dev &&
           output.st_ino == error.st_ino;
}

}  // namespace platform
