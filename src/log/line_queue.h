// A FIFO of log lines, each an owned copy of its text without line end.
// The lines lie back to back in large blocks, so queueing one costs a copy
// and no allocation of its own; a queue that is cleared keeps a few empty
// blocks as spare room, and an exchange of two queues hands them over with
// the lines. Exchange and prepending are constant-time. Not thread-safe:
// the owner guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class LineQueue {
  public:
    LineQueue() = default;
    ~LineQueue();
    LineQueue(const LineQueue&) = delete;
    LineQueue& operator=(const LineQueue&) = delete;

    // Queues one line: `head` followed by `tail`.
    void Append(const char* head, size_t head_size, const char* tail, size_t tail_size);
    bool Empty() const { return first_ == nullptr; }
    // Exchanges the whole contents (lines and spare room) with `other`.
    void Swap(LineQueue& other);
    // Moves every line of `other` ahead of this queue's lines, in order.
    void PrependFrom(LineQueue& other);
    // Calls `visit(text, size)` for every line, in order.
    template <typename Visit>
    void ForEach(Visit visit) const;
    // Drops every line; keeps a few blocks as spare room.
    void Clear();

  private:
    struct Block {
        Block* next;
        size_t used;
        char data[16384 - 2 * sizeof(void*)];
    };
    static constexpr size_t kMaxSpareBlocks = 256;  // 4 MiB
    static constexpr size_t kRecordHeader = sizeof(uint32_t);
    static constexpr size_t kPrefetchBytes = 192;

    Block* TakeBlock();

    Block* first_ = nullptr;  // blocks holding lines, oldest first
    Block* last_ = nullptr;
    Block* spare_ = nullptr;  // empty blocks for reuse
    size_t spare_count_ = 0;
};

template <typename Visit>
void LineQueue::ForEach(Visit visit) const {
    for (const Block* block = first_; block != nullptr; block = block->next) {
        size_t at = 0;
        while (at < block->used) {
            uint32_t size;
            std::memcpy(&size, block->data + at, sizeof(size));
            at += kRecordHeader;
            visit(block->data + at, static_cast<size_t>(size));
            at += size;
        }
    }
}
