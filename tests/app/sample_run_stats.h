// The counters of a run that met some of everything, for the tests of the
// texts made of them: every counter a number of its own, so that a text
// showing one counter in another's place is caught.
#pragma once

#include "scan/scan_stats.h"

namespace apptest {

// A run that repairs counts its repaired images, one that only checks its
// infected ones (3 either way); never both.
inline ScanStats SampleRunStats(bool check_only) {
    ScanStats stats;
    stats.folders_entered = 12;
    stats.folders_unlisted = 9;
    stats.files_seen = 340;
    stats.images_examined = 25;
    stats.safe = 20;
    (check_only ? stats.infected : stats.fixed) = 3;
    stats.error = 2;
    stats.unreadable = 7;
    stats.in_use = 5;
    stats.not_scanned = 4;
    return stats;
}

}  // namespace apptest
