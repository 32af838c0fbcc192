// A zero-filled block from the process heap (HeapAlloc with HEAP_ZERO_MEMORY
// on Windows, calloc on POSIX), owned and freed by the destructor.
#pragma once

#include <cstdint>

namespace platform {

class HeapBlock {
  public:
    HeapBlock() = default;
    ~HeapBlock();
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    // Allocates `size` zero bytes, releasing any block held before. False
    // when the heap cannot supply them. A size of 0 gives a valid, empty
    // block.
    bool Allocate(uint32_t size);
    void Free();

    uint8_t* Data() { return data_; }
    uint32_t Size() const { return size_; }

  private:
    uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
};

}  // namespace platform
