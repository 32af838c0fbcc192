// Text conventions of the POSIX build: paths are the native narrow bytes and
// a path is logged with "%s".
#pragma once

using PathChar = char;

#define ZQ_T(text) text
#define ZQ_PATH_FMT "%s"
#define ZQ_PATH_SEP ZQ_T('/')
#define ZQ_PATH_SEP_STR ZQ_T("/")

#define ZQ_PRINTF_LIKE(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))

// The calling convention of COM-style calls into a loaded library (its
// factory and its objects' methods): the platform's default.
#define ZQ_COMCALL

// The file name ending of a library loaded at run time.
#define ZQ_LIBRARY_SUFFIX ZQ_T(".so")

// Characters (terminator included) of the buffer that holds one file's full
// path during the scan: the system's own path limit, PATH_MAX.
#define ZQ_FILE_PATH_CHARS 4096
