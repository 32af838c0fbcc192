// The stand-in library's FIFO maker on Windows, which has none.
#include "changer_fifo.h"

namespace druquara {

bool MakeFifo(const std::filesystem::path& /*path*/) {
    return false;
}

}  // namespace druquara
