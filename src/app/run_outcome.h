// What the operator is told of a run's outcome beside the console's result
// lines and the log: the exit status, the lines on standard error when
// nothing (or a whole root) could be scanned, and the one closing line on a
// terminal.
#pragma once

#include <string>

#include "scan/scan_stats.h"

// Exit statuses. A run that repairs ends with kExitDone whatever it found; a
// run that only checks tells what it found: nothing infected (kExitDone),
// infected images (kExitInfected), or a file it could not examine or a
// scan that reached nothing (kExitNotExamined, which wins). An unknown
// switch also ends with kExitNotExamined's value.
constexpr int kExitDone = 0;
constexpr int kExitInfected = 1;
constexpr int kExitNotExamined = 2;
constexpr int kExitBadUsage = 2;

// The exit status of a run that only checked, from its counters: an image
// whose check gave Error or a file the image test could not read, or
// `nothing_scanned` (no root found, or a root that could not be listed),
// give kExitNotExamined; else an infected image gives kExitInfected.
int CheckExitStatus(const ScanStats& stats, bool nothing_scanned);

// "ZQCindervane: nothing scanned: <reason>" (platform::NoRootsReason).
std::string NoRootsLine(const std::string& reason);

// "ZQCindervane: <root> could not be listed, nothing on it was scanned (the
// log says why)", the root in its shown form ("/" for the root filesystem,
// whose root text is empty).
std::string UnlistedRootLine(const std::string& shown_root);

// The closing line, without a line break: "ZQCindervane: <n> examined,
// <n> repaired, <n> errors, <n> not scanned; log: <path>". In a run that
// only checks "<n> infected (nothing repaired)" stands for the repaired
// ones. Errors are the images whose result was Error and the files the
// image test could not read; not scanned the folders and files passed over
// and the folders that could not be listed. `shown_log` is the log's path
// in its shown form, empty when the log has no place ("no log" then).
std::string ClosingLine(const ScanStats& stats, bool check_only, const std::string& shown_log);
