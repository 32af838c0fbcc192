// POSIX: ftruncate leaves the new bytes unallocated.
#include <fcntl.h>
#include <unistd.h>

#include "sparse_file.h"

namespace scantest {

bool MakeSparseFile(const PathChar* path, uint64_t size) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
    close(fd);
    return ok;
}

}  // namespace scantest
