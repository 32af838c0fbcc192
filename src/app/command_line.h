// What the program is asked to do by its arguments: scan (everything fixed,
// or the paths named), scan checking only, or say its usage or version. A
// pure decision over the argument list, the same on every platform; the
// entry points pass their arguments and whether switches may also begin
// with "/" (Windows).
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

enum class ProgramAction {
    Scan,         // no switch: the scan that repairs
    CheckOnly,    // --check (/check): the same walk, nothing repaired or written
    ShowUsage,    // --help, -h, /?: the usage on standard output, exit 0
    ShowVersion,  // --version: the version on standard output, exit 0
    BadUsage,     // any other switch: the usage on standard error, exit 2, no scan
};

struct ProgramRequest {
    ProgramAction action = ProgramAction::Scan;
    // --require-backup (/require-backup): an infected file whose backup
    // could not be kept is left as it is.
    bool require_backup = false;
    // The paths named, in the order given: only they are walked. Empty:
    // every fixed root.
    std::vector<PathString> paths;
    // BadUsage: the first argument that is no switch of this program.
    PathString bad_argument;
};

// The request for `arguments` (those after the program's name). A switch is
// an argument beginning with "-", or with "/" when `slash_switches`; "/?"
// asks for the usage everywhere. Every other (non-empty) argument is a path
// to scan. An unknown switch wins over everything, then a request for the
// usage, then for the version, then --check. Switches written with "/" are
// matched without regard to case, as Windows' own are; those with "-"
// exactly. Where slashes begin paths, "/check" in any case is refused as an
// unknown switch: a run that repairs where a check was asked for is the one
// surprise that cannot be undone.
ProgramRequest ParseCommandLine(const std::vector<PathString>& arguments, bool slash_switches);

// The usage text, lines ended by "\n": what the program does, its switches
// (with their "/" forms when `slash_switches`), the paths, where the log
// goes and the exit statuses.
std::string UsageText(bool slash_switches);

// "unknown switch: <argument>", the first line of a bad usage's text.
std::string UnknownSwitchLine(const std::string& shown_argument);

// "ZQCindervane <version>", the program's name and its project version.
std::string VersionText();
