// The closing summary line of the log: the scan counters, the roots found
// and the time the scan took, as one line without the "[function][line]"
// prefix, written just before "End...". Its layout, for tools that read the
// log (one line each; each N a decimal count; S.mmm the seconds with three
// decimals, always with "." whatever the locale):
//
//   Summary...Folders:N, Files:N, Examined:N, Safe:N, Is Fix:N, Error:N,
//   Unreadable:N, In use:N, Not Scanned:N, Unlisted:N, Roots:N, Seconds:S.mmm
//
// and for a run that only checks, with the infected images after Is Fix
// (which is then 0):
//
//   Summary...Folders:N, Files:N, Examined:N, Safe:N, Is Fix:0, Infected:N,
//   Error:N, Unreadable:N, In use:N, Not Scanned:N, Unlisted:N, Roots:N,
//   Seconds:S.mmm
//
// (Logs written before "In use" was counted lack that field.)
#pragma once

#include <cstdint>
#include <string>

#include "scan/scan_stats.h"

// `roots`: the fixed roots found; `check_only`: the run only checked.
std::string ScanSummaryText(const ScanStats& stats, uint64_t roots, bool check_only,
                            uint64_t elapsed_ms);
