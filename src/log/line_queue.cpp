#include "log/line_queue.h"

#include <utility>

LineQueue::~LineQueue() {
    Clear();
    while (spare_ != nullptr) {
        Block* next = spare_->next;
        delete spare_;
        spare_ = next;
    }
}

LineQueue::Block* LineQueue::TakeBlock() {
    Block* block = spare_;
    if (block != nullptr) {
        spare_ = block->next;
        --spare_count_;
    } else {
        block = new Block;
    }
    block->next = nullptr;
    block->used = 0;
    return block;
}

void LineQueue::Append(const char* head, size_t head_size, const char* tail, size_t tail_size) {
    const size_t size = head_size + tail_size;
    const size_t record = kRecordHeader + size;
    if (record > sizeof(Block::data)) {
        return;  // longer than any line the log makes (a stamp and 499 bytes)
    }
    if (last_ == nullptr || sizeof(Block::data) - last_->used < record) {
        Block* block = TakeBlock();
        if (last_ == nullptr) {
            first_ = block;
        } else {
            last_->next = block;
        }
        last_ = block;
    }
    char* at = last_->data + last_->used;
    const uint32_t size32 = static_cast<uint32_t>(size);
    std::memcpy(at, &size32, sizeof(size32));
    std::memcpy(at + kRecordHeader, head, head_size);
    std::memcpy(at + kRecordHeader + head_size, tail, tail_size);
    last_->used += record;
    // The next line goes right after this one, into memory the worker last
    // read: ask for it now, so that the transfer overlaps the formatting
    // of that line instead of stalling its copy.
    const char* next = last_->data + last_->used;
    const char* end = last_->data + sizeof(Block::data);
    for (size_t ahead = 0; ahead < kPrefetchBytes && next + ahead < end; ahead += 64) {
        __builtin_prefetch(next + ahead, 1);
    }
}

void LineQueue::Swap(LineQueue& other) {
    std::swap(first_, other.first_);
    std::swap(last_, other.last_);
    std::swap(spare_, other.spare_);
    std::swap(spare_count_, other.spare_count_);
}

void LineQueue::PrependFrom(LineQueue& other) {
    if (other.first_ == nullptr) {
        return;
    }
    // New lines keep going to this queue's last block, after both.
    other.last_->next = first_;
    if (last_ == nullptr) {
        last_ = other.last_;
    }
    first_ = other.first_;
    other.first_ = nullptr;
    other.last_ = nullptr;
}

void LineQueue::Clear() {
    while (first_ != nullptr) {
        Block* block = first_;
        first_ = block->next;
        if (spare_count_ < kMaxSpareBlocks) {
            block->next = spare_;
            spare_ = block;
            ++spare_count_;
        } else {
            delete block;
        }
    }
    last_ = nullptr;
}
