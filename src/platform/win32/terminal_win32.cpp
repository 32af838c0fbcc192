// The console on Windows: a standard handle whose console mode can be read.
// (The C runtime's _isatty also answers yes for the NUL device.)
#include <windows.h>

#include "platform/terminal.h"

namespace platform {

bool IsTerminal(StdStream stream) {
    DWORD which = STD_INPUT_HANDLE;
    switch (stream) {
        case StdStream::Input:
            which = STD_INPUT_HANDLE;
            break;
        case StdStream::Output:
            which = STD_OUTPUT_HANDLE;
            break;
        case StdStream::Error:
            which = STD_ERROR_HANDLE;
            break;
    }
    const HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetConsoleMode(handle, &mode) != 0;
}

}  // namespace platform
