// Progress while the walk runs, shown beside the console's output and never
// in it (platform/progress_display.h): files met, images examined, fixed,
// errors, and the folder being walked, refreshed at most every
// kProgressRefreshMs. The log and standard output stay as they are.
#pragma once

#include <cstdint>
#include <string>

#include "platform/progress_display.h"
#include "platform/types.h"
#include "scan/scan_stats.h"

constexpr uint32_t kProgressRefreshMs = 250;

// "<files> files, <images> images, <fixed> fixed, <errors> errors"; errors
// are the images whose result was Error. Once an image was found Infected
// (a check, or a file left for want of a backup), "<n> infected, " stands
// before the errors.
std::string ScanProgressCounts(const ScanStats& stats);

class ScanProgress {
  public:
    using Clock = uint32_t (*)();
    ScanProgress(platform::ProgressDisplay* display, Clock clock)
        : display_(display), clock_(clock) {}

    // Opens the display; console output so far ended without a line break.
    void Start();
    // The walk is in `folder`: shown if kProgressRefreshMs have passed since
    // the start or the last refresh.
    void At(const PathChar* folder);
    // A console line follows.
    void BeforeConsoleLine();
    // Closes the display (before "End Scanning...").
    void End();

  private:
    platform::ProgressDisplay* display_;
    Clock clock_;
    uint32_t last_ = 0;
};

// The program's own progress display, for the walk and the entry.
void StartScanProgress();
void ScanProgressAt(const PathChar* folder);
void ScanProgressBeforeConsoleLine();
void EndScanProgress();
