// The platform the build chose, as the tests see it, and the OS error codes
// the tests expect, each named once for both backends.
#pragma once

#include <cerrno>
#include <cstdio>
#include <string>
#include <type_traits>

#include "platform/types.h"

namespace testsupport {

// The Windows backend (its paths are wide); the POSIX one otherwise.
constexpr bool kWindows = std::is_same_v<PathChar, wchar_t>;

// ERROR_FILE_NOT_FOUND and ENOENT share the value 2.
constexpr OsError kErrFileNotFound = 2;
// A seek before the start of a file: ERROR_NEGATIVE_SEEK, EINVAL.
constexpr OsError kErrNegativeSeek = kWindows ? 0x83 : EINVAL;
// A search of a folder that does not exist: ERROR_PATH_NOT_FOUND, ENOENT.
constexpr OsError kErrFolderMissing = kWindows ? 3 : ENOENT;
// An open of a path below a plain file: ERROR_PATH_NOT_FOUND, ENOTDIR.
constexpr OsError kErrBelowAFile = kWindows ? 3 : ENOTDIR;
// The repair's open of a file it may not write: on Windows another handle
// holds it without write sharing (ERROR_SHARING_VIOLATION); on POSIX it is
// read-only to the account (EACCES).
constexpr OsError kErrRepairOpenRefused = kWindows ? 0x20 : EACCES;
// A library path that is not absolute: ERROR_BAD_PATHNAME, EINVAL.
constexpr OsError kErrRelativeLibraryPath = kWindows ? 161 : EINVAL;

// The null device, for a standard stream that must give nothing.
constexpr const char* kNullDevice = kWindows ? "NUL" : "/dev/null";

// A code as the failure lines print it in hex: "0x" and lower-case digits.
inline std::string Hex(OsError code) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%x", static_cast<unsigned>(code));
    return text;
}

}  // namespace testsupport
