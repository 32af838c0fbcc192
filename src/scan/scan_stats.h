// Counters of the scan: how many folders, files and images the walk met and
// what came of them. The walk counts as it goes; any thread may read a
// snapshot at any time (for a progress display or the closing summary).
#pragma once

#include <cstdint>

struct ScanStats {
    uint64_t folders_entered = 0;   // folders whose listing was opened, roots included
    uint64_t folders_unlisted = 0;  // folders whose listing could not be opened
    uint64_t files_seen = 0;        // file entries met, over-size ones included
    uint64_t images_examined = 0;   // executable images handed to the disinfection flow
    uint64_t safe = 0;              // ... of which Safe
    uint64_t fixed = 0;             // ... of which repaired (Is Fix)
    uint64_t error = 0;             // ... of which Error
    uint64_t infected = 0;          // ... of which Infected (check only)
    uint64_t unreadable = 0;        // files the image test could not open or read
    uint64_t in_use = 0;            // files the image test's open found held without
                                    // sharing (Windows: by the system), not examined
    uint64_t not_scanned = 0;       // folders and files passed over: path too long, loop,
                                    // bind mount, not local, link, kept by the system
    uint64_t fixed_without_backup = 0;  // repaired, though the quarantine library kept no backup
};

enum class ScanCounter {
    FoldersEntered,
    FoldersUnlisted,
    FilesSeen,
    ImagesExamined,
    Safe,
    Fixed,
    Error,
    Infected,
    Unreadable,
    InUse,
    NotScanned,
    FixedWithoutBackup,
};

// The counters as they are now.
ScanStats CurrentScanStats();

// Sets every counter to 0.
void ResetScanStats();

// Adds one to a counter.
void CountScan(ScanCounter counter);
