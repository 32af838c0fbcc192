// The once-per-run move of a full log file aside to its single backup.
#include "log/logger.h"

#include "platform/file_ops.h"

namespace {

constexpr uint32_t kRotateSize = 524288;  // 512 KiB

}  // namespace

int Logger::RotateLogFile() {
    uint32_t size = 0;
    if (!platform::ExistingFileSizeLow(LogPath.c_str(), &size)) {
        return 1;  // nothing to rotate (or, on POSIX, nothing that is a plain file)
    }
    if (size < kRotateSize) {
        return 1;
    }
    // One generation of backup; no step's result is examined: when one
    // fails, the log stays in place and this run appends to it.
    const PathString backup = LogPath + ZQ_T("0");
    platform::ClearFileAttributes(backup.c_str());
    platform::DeleteFileAt(backup.c_str());
    platform::ClearFileAttributes(LogPath.c_str());
    platform::MoveFileTo(LogPath.c_str(), backup.c_str());
    return 1;
}
