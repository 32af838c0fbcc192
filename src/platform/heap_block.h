// A zero-filled block from the process heap, owned: freed by the destructor
// (GetProcessHeap/HeapAlloc with HEAP_ZERO_MEMORY and HeapFree on Windows;
// calloc and free on POSIX).
#pragma once

#include <cstddef>

namespace platform {

class HeapBlock {
  public:
    HeapBlock() = default;
    ~HeapBlock();
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    // Allocates `size` zero-filled bytes, freeing any earlier block first.
    // False when the heap cannot supply them.
    bool Allocate(size_t size);
    void Free();

    void* Data() const { return data_; }
    size_t Size() const { return size_; }

  private:
    void* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace platform
