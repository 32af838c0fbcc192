// A FIFO of log lines, each an owned copy of its text without line end.
// The lines lie back to back in large blocks, so queueing one costs a copy
// and no allocation of its own; a queue that is cleared keeps a few empty
// blocks as spare room, and an exchange of two queues hands them over with
// the lines. Exchange is constant-time. Allocation failures are reported,
// never thrown. Not thread-safe: the owner guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class LineQueue {
  public:
    // The longest line a queue takes (head and tail together).
    static constexpr size_t kMaxLineSize = 32 * 1024 - 64;

    LineQueue() = default;
    ~LineQueue();
    LineQueue(const LineQueue&) = delete;
    LineQueue& operator=(const LineQueue&) = delete;

    // Queues one line: `head` followed by `tail`. False, with nothing
    // queued, when the line is longer than kMaxLineSize or no memory is
    // left for it.
    bool Append(const char* head, size_t head_size, const char* tail, size_t tail_size);
    bool Empty() const { return first_ == nullptr; }
    // The bytes of the blocks holding this queue's lines.
    size_t Bytes() const { return block_count_ * sizeof(Block); }
    // Exchanges the whole contents (lines and spare room) with `other`.
    void Swap(LineQueue& other);
    // Copies every line of `other` after this queue's lines, in order, and
    // clears `other`. Returns how many lines could not be copied for want of
    // memory (they are dropped).
    uint64_t TakeFrom(LineQueue& other);
    // Drops the oldest lines, a block at a time, until at most `limit` bytes
    // of blocks hold lines. Returns how many lines were dropped.
    uint64_t DropOldestBeyond(size_t limit);
    // Calls `visit(text, size)` for every line, in order.
    template <typename Visit>
    void ForEach(Visit visit) const;
    // Drops every line; keeps a few blocks as spare room.
    void Clear();
    // Drops every line and frees every block, the spare ones too.
    void Release();

    // The bytes of blocks held by every queue of the process, and the most
    // they reached since the last reset: what the log costs in memory.
    static size_t BlockBytes();
    static size_t PeakBlockBytes();
    static void ResetPeakBlockBytes();

  private:
    struct Block {
        Block* next;
        size_t used;
        size_t lines;
        char data[32 * 1024 - 3 * sizeof(size_t)];
    };
    static_assert(sizeof(uint32_t) + kMaxLineSize <= sizeof(Block::data), "a line fits a block");
    static constexpr size_t kMaxSpareBlocks = 128;  // 4 MiB
    static constexpr size_t kRecordHeader = sizeof(uint32_t);
    static constexpr size_t kPrefetchBytes = 192;

    Block* TakeBlock();
    static Block* NewBlock();
    static void DeleteBlock(Block* block);
    // Room for a record of `record` bytes at the tail; false without memory.
    bool MakeRoom(size_t record);

    Block* first_ = nullptr;  // blocks holding lines, oldest first
    Block* last_ = nullptr;
    Block* spare_ = nullptr;  // empty blocks for reuse
    size_t spare_count_ = 0;
    size_t block_count_ = 0;  // blocks holding lines
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
