// The program's one pass: start the log, raise the privilege, scan every
// fixed-drive root, stop the log, pause. Shared by the OS entry points.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

// Starts the process-wide log on "ZQCindervane.log" beside the executable.
// Always TRUE: whether the log started is not examined.
BOOL StartLog();

// The roots of the fixed drives, in the system's order; a failed query is
// logged and gives the roots found so far (none).
std::vector<PathString> CollectFixedRoots();

// Scans each root in order, each preceded by its "Start Scanning Folder"
// line.
void ScanRoots(const std::vector<PathString>& roots);

// The end of a run that an interrupt cut short, once the walk has stopped
// between two files: logs the interrupt, the summary of the scan begun at
// `started` (milliseconds of the monotonic clock) and "End...", flushes the
// console, stops the log (every accepted line written) and ends the process
// as the platform ends it for that interrupt. Does not return.
void EndInterrupted(uint32_t started);

// The whole run. Command-line arguments are not read. Always 0.
int ScanMain();
