// The closing summary line of the log: the scan counters and the time the
// scan took, as one line without the "[function][line]" prefix, written just
// before "End...". Its layout, for tools that read the log:
//
//   Summary...Folders:N, Files:N, Examined:N, Safe:N, Is Fix:N, Error:N,
//   Unreadable:N, Not Scanned:N, Unlisted:N, Seconds:S.mmm
//
// (one line; each N a decimal count; S.mmm the seconds with three decimals,
// always with "." whatever the locale).
#pragma once

#include <cstdint>
#include <string>

#include "scan/scan_stats.h"

std::string ScanSummaryText(const ScanStats& stats, uint64_t elapsed_ms);
