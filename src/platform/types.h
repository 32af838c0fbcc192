// Basic types shared by every subsystem.
#pragma once

#include <cstdint>
#include <string>

#include "zq_platform_config.h"

// A 32-bit integer result, FALSE 0 and TRUE 1; callers test for non-zero.
// Identical to the Windows SDK's definitions, so both may be visible at once.
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// A path in the platform's own text type (UTF-16 on Windows, bytes on POSIX).
using PathString = std::basic_string<PathChar>;

// The operating system's own error code of a failed call: GetLastError() on
// Windows, errno on POSIX. Captured on the failing line, printed as is.
using OsError = uint32_t;
