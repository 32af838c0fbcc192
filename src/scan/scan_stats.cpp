// The scan counters: one relaxed atomic each, so that the walk's increments
// cost no lock and a reader on another thread never sees a torn value.
#include "scan/scan_stats.h"

#include <atomic>
#include <cstddef>

namespace {

constexpr size_t kCounters = static_cast<size_t>(ScanCounter::FixedWithoutBackup) + 1;

std::atomic<uint64_t> g_counters[kCounters];

uint64_t Read(ScanCounter counter) {
    return g_counters[static_cast<size_t>(counter)].load(std::memory_order_relaxed);
}

}  // namespace

ScanStats CurrentScanStats() {
    ScanStats stats;
    stats.folders_entered = Read(ScanCounter::FoldersEntered);
    stats.folders_unlisted = Read(ScanCounter::FoldersUnlisted);
    stats.files_seen = Read(ScanCounter::FilesSeen);
    stats.images_examined = Read(ScanCounter::ImagesExamined);
    stats.safe = Read(ScanCounter::Safe);
    stats.fixed = Read(ScanCounter::Fixed);
    stats.error = Read(ScanCounter::Error);
    stats.infected = Read(ScanCounter::Infected);
    stats.unreadable = Read(ScanCounter::Unreadable);
    stats.in_use = Read(ScanCounter::InUse);
    stats.not_scanned = Read(ScanCounter::NotScanned);
    stats.fixed_without_backup = Read(ScanCounter::FixedWithoutBackup);
    return stats;
}

void ResetScanStats() {
    for (std::atomic<uint64_t>& counter : g_counters) {
        counter.store(0, std::memory_order_relaxed);
    }
}

void CountScan(ScanCounter counter) {
    g_counters[static_cast<size_t>(counter)].fetch_add(1, std::memory_order_relaxed);
}
