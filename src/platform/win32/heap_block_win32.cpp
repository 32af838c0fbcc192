// platform::HeapBlock on Win32: the process heap, zero-filled.
#include <windows.h>

#include "platform/heap_block.h"

namespace platform {

HeapBlock::~HeapBlock() {
    Free();
}

bool HeapBlock::Allocate(uint32_t size) {
    Free();
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (block == nullptr) {
        return false;
    }
    data_ = static_cast<uint8_t*>(block);
    size_ = size;
    return true;
}

void HeapBlock::Free() {
    if (data_ != nullptr) {
        HeapFree(GetProcessHeap(), 0, data_);
        data_ = nullptr;
        size_ = 0;
    }
}

}  // namespace platform
