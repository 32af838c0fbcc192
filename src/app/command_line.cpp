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
        if (text.size() - line_start >= kTextColumn) {
            // Names too long for the column: the text starts below them.
            text.append("\n");
            line_start = text.size();
        }
        text.append(line_start + kTextColumn - text.size(), ' ');
        text.append(line).append("\n");
        line_start = text.size();
    }
    return text;
}

}  // namespace

ProgramRequest ParseCommandLine(const std::vector<PathString>& arguments, bool slash_switches) {
    ProgramRequest request;
    bool bad = false;
    bool usage = false;
    bool version = false;
    bool check = false;
    auto refuse = [&](const PathString& argument) {
        if (!bad) {
            request.bad_argument = argument;
        }
        bad = true;
    };
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
            } else if (Is(argument, "--require-backup", false)) {
                request.require_backup = true;
            } else {
                refuse(argument);
            }
        } else if (slash) {
            if (Is(argument, "/check", true)) {
                check = true;
            } else if (Is(argument, "/require-backup", true)) {
                request.require_backup = true;
            } else {
                refuse(argument);
            }
        } else if (Is(argument, "/check", true)) {
            refuse(argument);
        } else if (!argument.empty()) {
            request.paths.push_back(argument);
        }
    }
    if (bad) {
        request.action = ProgramAction::BadUsage;
    } else if (usage) {
        request.action = ProgramAction::ShowUsage;
    } else if (version) {
        request.action = ProgramAction::ShowVersion;
    } else {
        request.action = check ? ProgramAction::CheckOnly : ProgramAction::Scan;
    }
    return request;
}

std::string UsageText(bool slash_switches) {
    const std::string name = slash_switches ? "ZQCindervane.exe" : "zqcindervane";
    std::string text = "Usage: " + name + " [" + (slash_switches ? "/check" : "--check") + "] [" +
                       (slash_switches ? "/require-backup" : "--require-backup") + "] [PATH...]\n";
    text +=
        "\n"
        "Removes the file infector \"3rd.Infect.Cindervane\" from the folders named,\n"
        "or from every fixed disk when none is: each infected program is handed to\n"
        "the security suite's quarantine library as a backup and repaired in place.\n"
        "One line per examined program gives its result: Safe, Is Fix (repaired)\n"
        "or Error.\n"
        "\n";
    text += SwitchLines(
        "PATH", {slash_switches ? "a folder or drive to scan (D:\\Data, E:, \\\\server\\share);"
                                : "a folder to scan (/mnt/windows);",
                 "removable drives are scanned only when named"});
    text += SwitchLines(slash_switches ? "--check, /check" : "--check",
                        {"check only: the same scan, but an infected program is",
                         "reported Infected and nothing is repaired, backed up", "or written"});
    text += SwitchLines(
        slash_switches ? "--require-backup, /require-backup" : "--require-backup",
        {"repair only what the quarantine library backed up;",
         "an infected program without a backup is reported", "Infected and left as it is"});
    text += SwitchLines("--version", {"print the version"});
    text += SwitchLines(slash_switches ? "--help, -h, /?" : "--help, -h", {"print this text"});
    text +=
        "\n"
        "The log is ZQCindervane.log, in the folder of the program.\n"
        "\n"
        "Exit status: 0 the scan ran to its end; with --check: 0 nothing infected\n"
        "was found, 1 infected programs were found, 2 a file could not be examined\n"
        "or a folder listed, or nothing was scanned. 2 also when a program was left\n"
        "infected for want of a backup (--require-backup), for an unknown switch\n"
        "and for a path that is no folder.\n";
    return text;
}

std::string UnknownSwitchLine(const std::string& shown_argument) {
    return "unknown switch: " + shown_argument;
}

std::string VersionText() {
    return std::string("ZQCindervane ") + ZQ_VERSION_TEXT;
}
