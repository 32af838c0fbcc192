// The log's queue of lines: blocks of copied texts, taken whole by the worker.
#include "log/line_queue.h"

#include <atomic>
#include <new>
#include <utility>

namespace {

std::atomic<size_t> g_block_bytes{0};
std::atomic<size_t> g_peak_block_bytes{0};

}  // namespace

LineQueue::~LineQueue() {
    Release();
}

LineQueue::Block* LineQueue::NewBlock() {
    Block* block = new (std::nothrow) Block;
    if (block != nullptr) {
        const size_t now = g_block_bytes.fetch_add(sizeof(Block)) + sizeof(Block);
        size_t peak = g_peak_block_bytes.load();
        while (now > peak && !g_peak_block_bytes.compare_exchange_weak(peak, now)) {
        }
    }
    return block;
}

void LineQueue::DeleteBlock(Block* block) {
    g_block_bytes.fetch_sub(sizeof(Block));
    delete block;
}

size_t LineQueue::BlockBytes() {
    return g_block_bytes.load();
}

size_t LineQueue::PeakBlockBytes() {
    return g_peak_block_bytes.load();
}

void LineQueue::ResetPeakBlockBytes() {
    g_peak_block_bytes.store(g_block_bytes.load());
}

LineQueue::Block* LineQueue::TakeBlock() {
    Block* block = spare_;
    if (block != nullptr) {
        spare_ = block->next;
        --spare_count_;
    } else {
        block = NewBlock();
        if (block == nullptr) {
            return nullptr;
        }
    }
    block->next = nullptr;
    block->used = 0;
    block->lines = 0;
    return block;
}

bool LineQueue::MakeRoom(size_t record) {
    if (last_ != nullptr && sizeof(Block::data) - last_->used >= record) {
        return true;
    }
    Block* block = TakeBlock();
    if (block == nullptr) {
        return false;
    }
    if (last_ == nullptr) {
        first_ = block;
    } else {
        last_->next = block;
    }
    last_ = block;
    ++block_count_;
    return true;
}

bool LineQueue::Append(const char* head, size_t head_size, const char* tail, size_t tail_size) {
    const size_t size = head_size + tail_size;
    if (size > kMaxLineSize) {
        return false;
    }
    const size_t record = kRecordHeader + size;
    if (!MakeRoom(record)) {
        return false;
    }
    char* at = last_->data + last_->used;
    const uint32_t size32 = static_cast<uint32_t>(size);
    std::memcpy(at, &size32, sizeof(size32));
    std::memcpy(at + kRecordHeader, head, head_size);
    std::memcpy(at + kRecordHeader + head_size, tail, tail_size);
    last_->used += record;
    ++last_->lines;
    // The next line goes right after this one, into memory the worker last
    // read: ask for it now, so that the transfer overlaps the formatting
    // of that line instead of stalling its copy.
    const char* next = last_->data + last_->used;
    const char* end = last_->data + sizeof(Block::data);
    for (size_t ahead = 0; ahead < kPrefetchBytes && next + ahead < end; ahead += 64) {
        __builtin_prefetch(next + ahead, 1);
    }
    return true;
}

void LineQueue::Swap(LineQueue& other) {
    std::swap(first_, other.first_);
    std::swap(last_, other.last_);
    std::swap(spare_, other.spare_);
    std::swap(spare_count_, other.spare_count_);
    std::swap(block_count_, other.block_count_);
}

uint64_t LineQueue::TakeFrom(LineQueue& other) {
    uint64_t dropped = 0;
    other.ForEach([this, &dropped](const char* text, size_t size) {
        if (!Append(text, size, "", 0)) {
            ++dropped;
        }
    });
    other.Clear();
    return dropped;
}

uint64_t LineQueue::DropOldestBeyond(size_t limit) {
    uint64_t dropped = 0;
    while (first_ != nullptr && block_count_ * sizeof(Block) > limit) {
        Block* block = first_;
        first_ = block->next;
        if (first_ == nullptr) {
            last_ = nullptr;
        }
        --block_count_;
        dropped += block->lines;
        DeleteBlock(block);
    }
    return dropped;
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
            DeleteBlock(block);
        }
    }
    last_ = nullptr;
    block_count_ = 0;
}

void LineQueue::Release() {
    Clear();
    while (spare_ != nullptr) {
        Block* next = spare_->next;
        DeleteBlock(spare_);
        spare_ = next;
    }
    spare_count_ = 0;
}
