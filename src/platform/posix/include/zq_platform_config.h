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
