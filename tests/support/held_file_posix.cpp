// Held files on POSIX: open(2), for writing only to update.
#include <fcntl.h>

#include "support/held_file.h"

namespace testsupport {

bool OpenHeld(platform::File* file, const PathChar* path, Hold how) {
    const int fd = open(path, (how == Hold::Update ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    file->AdoptForTesting(fd);
    return true;
}

}  // namespace testsupport
