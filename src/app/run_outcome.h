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
// A run that repairs but had to leave infected programs as they were, for
// want of a backup (--require-backup).
constexpr int kExitNotRepaired = 2;

// The exit status of a run that only checked, from its counters: an image
// whose check gave Error, a file the image test could not read, a folder
// that could not be listed, or `nothing_scanned` (no root found, or a root
// that could not be listed), give kExitNotExamined; else an infected image
// gives kExitInfected.
int CheckExitStatus(const ScanStats& stats, bool nothing_scanned);

// The exit status of a run that repairs: kExitNotRepaired when an infected
// image was left as it was for want of a backup (counted Infected), else
// kExitDone whatever it found.
int RepairExitStatus(const ScanStats& stats);

// "ZQCindervane: nothing scanned: <reason>" (platform::NoRootsReason).
std::string NoRootsLine(const std::string& reason);

// "ZQCindervane: <root> could not be listed, nothing on it was scanned (the
// log says why)", the root in its shown form ("/" for the root filesystem,
// whose root text is empty).
std::string UnlistedRootLine(const std::string& shown_root);

// What became of the log, for the closing line.
struct LogOutcome {
    std::string shown_path;  // its path in its shown form; empty: it had no place
    bool written = false;    // the file took lines
    bool complete = false;   // ... and every line
};

// The closing line, without a line break: "ZQCindervane: <n> examined,
// <n> repaired, <n> errors, <n> not scanned; log: <path>". In a run that
// only checks "<n> infected (nothing repaired)" stands for the repaired
// ones. Repairs made without a backup say so, with `backup_reason`
// (BackupFailureReason): "<n> repaired (no backup kept: <reason>)" when
// none was kept, "(<k> with no backup kept: <reason>)" when some were; an
// infected image left as it was for want of a backup adds "<n> left
// infected (no backup kept: <reason>)". Errors are the images whose result
// was Error and the files the image test could not read; not scanned the
// folders and files passed over and the folders that could not be listed.
// The log is named only when it was written: "log: <path>" with every line,
// "log incomplete: <path>" when lines were lost, "no log" when nothing
// reached it.
std::string ClosingLine(const ScanStats& stats, bool check_only, const LogOutcome& log,
                        const std::string& backup_reason = std::string());

// "ZQCindervane: cannot scan <path>: <why>" for a path named on the command
// line that is no folder: "it is not a folder", or "it could not be found
// (error <code>)".
std::string NamedPathLine(const std::string& shown_path, bool not_folder, uint32_t code);
