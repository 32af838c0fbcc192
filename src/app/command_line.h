// What the program is asked to do by its arguments: scan, scan checking
// only, or say its usage or version. A pure decision over the argument list,
// the same on every platform; the entry points pass their arguments and
// whether switches may also begin with "/" (Windows).
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

// The action for `arguments` (those after the program's name). A switch is
// an argument beginning with "-", or with "/" when `slash_switches`; "/?"
// asks for the usage everywhere. Every other argument is ignored. An unknown
// switch wins over everything, then a request for the usage, then for the
// version, then --check. Switches written with "/" are matched without
// regard to case, as Windows' own are; those with "-" exactly.
ProgramAction ParseCommandLine(const std::vector<PathString>& arguments, bool slash_switches);

// The usage text, lines ended by "\n": what the program does, its switches
// (with their "/" forms when `slash_switches`), where the log goes and the
// exit statuses.
std::string UsageText(bool slash_switches);

// "ZQCindervane <version>", the program's name and its project version.
std::string VersionText();
