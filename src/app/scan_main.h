// The program's one pass: start the log, raise the privilege, scan every
// fixed-drive root, stop the log, tell the operator, pause. Shared by the OS
// entry points, which hand over their arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"
#include "scan/scan_options.h"

// The log's path: "ZQCindervane.log" beside the executable; empty when the
// executable's folder cannot be had or named (the run is then unlogged).
PathString LogPath();

// Starts the process-wide log on LogPath(). Always TRUE: whether the log
// started is not examined.
BOOL StartLog();

// The roots of the fixed drives, in the system's order; a failed query is
// logged and gives the roots found so far (none). When there is no root,
// `*none_reason` (when given) says why (platform::NoRootsReason).
std::vector<PathString> CollectFixedRoots(std::string* none_reason = nullptr);

// Scans each root in order, each preceded by its "Start Scanning Folder"
// line, as `options` say. Returns the roots that could not be listed at all
// (nothing on them was scanned).
std::vector<PathString> ScanRoots(const std::vector<PathString>& roots,
                                  const ScanOptions& options = ScanOptions());

// What the summary line says of a run besides the counters.
struct ScanRun {
    uint32_t started = 0;     // milliseconds of the monotonic clock at the start
    size_t roots = 0;         // roots walked: the fixed ones found, or those named
    bool check_only = false;  // nothing was to be repaired
};

// The end of a run that an interrupt cut short, once the walk has stopped
// between two files: logs the interrupt, the summary of `run` (no
// "End..."), flushes the console, stops the log (every accepted line
// written) and ends the process as the platform ends it for that interrupt.
// Does not return.
void EndInterrupted(const ScanRun& run);

// What a run is asked to do.
struct ScanRequest {
    // Infected images are reported Infected and nothing is repaired, backed
    // up or written.
    bool check_only = false;
    // An infected image whose backup failed is left as it is (Infected).
    bool require_backup = false;
    // The roots to walk, in order (ResolveNamedRoots); empty: every fixed
    // root.
    std::vector<PathString> named_roots;
};

// The whole scan as `request` says. The exit status (run_outcome.h): for a
// run that repairs kExitDone, or kExitNotRepaired when an image was left
// infected for want of a backup; for one that only checks, what it found.
int ScanMain(const ScanRequest& request = ScanRequest());

// The roots of the paths the operator named (platform/named_root.h), in the
// order given, a folder named twice kept once. False at the first path that
// is no folder, with `*problem` the line for standard error
// (NamedPathLine).
bool ResolveNamedRoots(const std::vector<PathString>& paths, std::vector<PathString>* roots,
                       std::string* problem);

// The program for `arguments` (those after its name) and whether switches
// may begin with "/" (Windows): the usage, the version, or the scan
// (command_line.h). Its exit status.
int ProgramMain(const std::vector<PathString>& arguments, bool slash_switches);
