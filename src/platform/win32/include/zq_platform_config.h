// Text conventions of the Windows build: paths are UTF-16 (wchar_t) and a
// path is logged with "%ws", which the runtime's _vsnprintf converts through
// the locale set at start.
#pragma once

using PathChar = wchar_t;

#define ZQ_T(text) L##text
#define ZQ_PATH_FMT "%ws"
#define ZQ_PATH_SEP ZQ_T('\\')
#define ZQ_PATH_SEP_STR ZQ_T("\\")

// msvcrt's formatter knows "%ws"; GCC's format checker does not, so the
// Windows build leaves format checking to the POSIX build.
#define ZQ_PRINTF_LIKE(format_index, first_arg)

// The calling convention of COM-style calls into a loaded library (its
// factory and its objects' methods): __stdcall on 32-bit Windows.
#define ZQ_COMCALL __stdcall

// The file name ending of a library loaded at run time.
#define ZQ_LIBRARY_SUFFIX ZQ_T(".dll")

// Characters (terminator included) of the buffer that holds one file's full
// path during the scan: the folder search's 4096, since every file call takes
// the path's extended form ("\\?\C:\..."), which MAX_PATH does not limit.
#define ZQ_FILE_PATH_CHARS 4096
