// platform::HeapBlock on POSIX: calloc, which zero-fills.
#include <cstdlib>

#include "platform/heap_block.h"

namespace platform {

HeapBlock::~HeapBlock() {
    Free();
}

bool HeapBlock::Allocate(uint32_t size) {
    Free();
    // calloc(0) may hand back NULL; an empty block is still a success.
    void* block = std::calloc(size == 0 ? 1 : size, 1);
    if (block == nullptr) {
        return false;
    }
    data_ = static_cast<uint8_t*>(block);
    size_ = size;
    return true;
}

void HeapBlock::Free() {
    if (data_ != nullptr) {
        std::free(data_);
        data_ = nullptr;
        size_ = 0;
    }
}

}  // namespace platform
