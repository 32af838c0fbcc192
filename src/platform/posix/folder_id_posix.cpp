// Folder identity on POSIX: device and inode, without following a link.
#include <errno.h>
#include <sys/stat.h>

#include "platform/folder_id.h"

namespace platform {

bool GetFolderId(const PathChar* folder_path, FolderId* id, OsError* error) {
    // The root filesystem's root text is "".
    const char* path = folder_path[0] == 0 ? "/" : folder_path;
    struct stat info;
    if (lstat(path, &info) != 0) {
        if (error != nullptr) {
            *error = static_cast<OsError>(errno);
        }
        return false;
    }
    id->volume = static_cast<uint64_t>(info.st_dev);
    id->index = static_cast<uint64_t>(info.st_ino);
    return true;
}

}  // namespace platform
