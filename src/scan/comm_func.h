// Stateless helpers of the scan driver: raising the process's debug
// privilege, and deciding whether a file is an executable image worth
// examining.
#pragma once

#include "platform/file_ref.h"
#include "platform/types.h"

class CommFunc {
  public:
    // Enables the debug privilege in the process's token (on POSIX: the
    // file-access capabilities the process is permitted to use). TRUE when
    // it is in effect. Failed calls are logged; an account that does not
    // hold the privilege gets FALSE without a log line.
    static BOOL SetDebugPrivilege();

    // TRUE for a file of at least 512 bytes with a DOS header ("MZ" or "ZM")
    // whose e_lfanew locates a 248-byte NT header block, lying wholly within
    // the file's mapped pages, that starts with "PE\0\0" and whose
    // Characteristics lack IMAGE_FILE_DLL (0x2000). FALSE for every other
    // file and on every failure; only failed calls are logged, and a file
    // that could not be opened or read counts as unreadable in the scan
    // counters (scan_stats.h).
    static BOOL IsFilePE(const PathChar* path);
};
