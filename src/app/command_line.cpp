// The program's switches and its usage text.
#include "app/command_line.h"

#include <initializer_list>

#include "platform/ascii.h"
#include "zq_version.h"

namespace {

// `argument` equals the ASCII text `name`, letter case ignored when
// `any_case`.
bool Is(const PathString& argument, const char* name, bool any_case) {
    size_t at = 0;
    for (; name[at] != '\0'; ++at) {
        if (at >= argument.size()) {
            return false;
        }
        PathChar got = argument[at];
        PathChar want = static_cast<PathChar>(static_cast<unsigned char>(name[at]));
        if (any_case) {
            got = platform::AsciiUpper(got);
            want = platform::AsciiUpper(want);
        }
        if (got != want) {
            return false;
        }
    }
    return at == argument.size();
}

// A switch's lines in the usage: its names, then what it does, each line of
// that from the column where the text of every switch begins.
std::string SwitchLines(const std::string& names, std::initializer_list<const char*> what) {
    constexpr size_t kTextColumn = 20;
    std::string text = "  " + names;
    size_t line_start = 0;
    for (const char* line : what) {
        text.append(line_start + kTextColumn - text.size(), ' ');
        text.append(line).append("\n");
        line_start = text.size();
    }
    return text;
}

}  // namespace

ProgramAction ParseCommandLine(const std::vector<PathString>& arguments, bool slash_switches) {
    bool bad = false;
    bool usage = false;
    bool version = false;
    bool check = false;
    for (const PathString& argument : arguments) {
        if (Is(argument, "/?", false)) {
            usage = true;
            continue;
        }
        const bool dash = !argument.empty() && argument[0] == ZQ_T('-');
        const bool slash = slash_switches && !argument.empty() && argument[0] == ZQ_T('/');
        if (dash) {
            if (Is(argument, "--help", false) || Is(argument, "-h", false)) {
                usage = true;
            } else if (Is(argument, "--version", false)) {
                version = true;
            } else if (Is(argument, "--check", false)) {
                check = true;
            } else {
                bad = true;
            }
        } else if (slash) {
            if (Is(argument, "/check", true)) {
                check = true;
            } else {
                bad = true;
            }
        } else if (Is(argument, "/check", true)) {
            // Where slashes begin paths, the Windows form of the one switch
            // that keeps files as they are is refused, never ignored: a run
            // that repairs where the operator asked for a check is the one
            // surprise that cannot be undone.
            bad = true;
        }
    }
    if (bad) {
        return ProgramAction::BadUsage;
    }
    if (usage) {
        return ProgramAction::ShowUsage;
    }
    if (version) {
        return ProgramAction::ShowVersion;
    }
    return check ? ProgramAction::CheckOnly : ProgramAction::Scan;
}

std::string UsageText(bool slash_switches) {
    const std::string name = slash_switches ? "ZQCindervane.exe" : "zqcindervane";
    std::string text =
        "Usage: " + name + " [" + (slash_switches ? "--check | /check" : "--check") + "]\n";
    text +=
        "\n"
        "Removes the file infector \"3rd.Infect.Cindervane\" from every fixed disk:\n"
        "each infected program is handed to the security suite's quarantine library\n"
        "as a backup and repaired in place. One line per examined program gives its\n"
        "result: Safe, Is Fix (repaired) or Error.\n"
        "\n";
    text += SwitchLines(slash_switches ? "--check, /check" : "--check",
                        {"check only: the same scan, but an infected program is",
                         "reported Infected and nothing is repaired, backed up", "or written"});
    text += SwitchLines("--version", {"print the version"});
    text += SwitchLines(slash_switches ? "--help, -h, /?" : "--help, -h", {"print this text"});
    text +=
        "\n"
        "The log is ZQCindervane.log, in the folder of the program.\n"
        "\n"
        "Exit status: 0 the scan ran to its end; with --check: 0 nothing infected\n"
        "was found, 1 infected programs were found, 2 a file could not be examined\n"
        "or nothing was scanned. 2 also for an unknown switch.\n";
    return text;
}

std::string VersionText() {
    return std::string("ZQCindervane ") + ZQ_VERSION_TEXT;
}
