// The POSIX registry store: each key is one text file below /etc, named after
// the key without its leading "SOFTWARE" part, the backslashes turned into
// folders ("SOFTWARE\Morlane\QRVCommon" is /etc/Morlane/QRVCommon).
//
// Format: one `Name=Value` per line (LF or CR LF). The name is everything
// before the first '=', spaces and tabs around it ignored, matched without
// regard to ASCII case; the value is everything after the '=' to the end of
// the line, as it is. Empty lines and lines starting with '#' or ';' are
// skipped; of two values with one name the first counts. A value is read as
// its bytes, without a terminating NUL.
//
// The file must be a regular file owned by root and not writable by group or
// others; any other file is refused like a missing key (status 2).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace platform {

// Where the key files lie and whose files are trusted: /etc and root.
struct RegistryStoreSettings {
    std::string folder = "/etc";
    uid_t trusted_owner = 0;
};
RegistryStoreSettings& RegistryStore();

// Test hook (builds with the tests only): reads keys from `folder` instead of /etc and trusts files
// owned by `trusted_owner` (a user id) instead of root. Called by tests only; it is deliberately
// not an environment variable, which would let anyone choose the library an elevated scan loads.
void SetRegistryFolderForTesting(const char* folder, uint32_t trusted_owner);

}  // namespace platform
