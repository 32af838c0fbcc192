// The console on Windows: a standard handle whose console mode can be read.
// (The C runtime's _isatty also answers yes for the NUL device.)
#include <windows.h>

#include "platform/terminal.h"
#include "platform/win32/file_identity.h"

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

bool OutputSharedWithError() {
    if (IsTerminal(StdStream::Output) && IsTerminal(StdStream::Error)) {
        return true;
    }
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE || error == nullptr ||
        error == INVALID_HANDLE_VALUE || GetFileType(output) != FILE_TYPE_DISK ||
        GetFileType(error) != FILE_TYPE_DISK) {
        return false;
    }
    FolderId output_id;
    FolderId error_id;
    return win32::ReadIdentity(output, &output_id) && win32::ReadIdentity(error, &error_id) &&
           output_id.volume == error_id.volume && output_id.index == error_id.index;
}

}  // namespace platform
