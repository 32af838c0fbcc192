#include "changer_fifo.h"

namespace druquara {

bool MakeFifo(const std::filesystem::path& /*path*/) {
    return false;
}

}  // namespace druquara
