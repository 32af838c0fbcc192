// The stand-in library's FIFO maker on POSIX: mkfifo.
#include <sys/stat.h>

#include "changer_fifo.h"

namespace druquara {

bool MakeFifo(const std::filesystem::path& path) {
    return mkfifo(path.c_str(), 0644) == 0;
}

}  // namespace druquara
