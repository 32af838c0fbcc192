// Terminals on POSIX: isatty on the stream's descriptor.
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

}  // namespace platform
