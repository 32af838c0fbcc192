// The program's switches: one table over the arguments, the same decision on
// both backends (the Windows entry passes slash switches allowed), and the
// usage text that names what the operator needs.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

PathString P(const char* ascii) {
    const std::string text(ascii);
    return PathString(text.begin(), text.end());
}

// The arguments of a case, and how they are shown in a failure.
std::vector<PathString> Arguments(const std::vector<const char*>& texts, std::string* shown) {
    std::vector<PathString> arguments;
    for (const char* text : texts) {
        arguments.push_back(P(text));
        *shown += std::string(" '") + text + "'";
    }
    return arguments;
}

const char* Name(ProgramAction action) {
    switch (action) {
        case ProgramAction::Scan:
            return "Scan";
        case ProgramAction::CheckOnly:
            return "CheckOnly";
        case ProgramAction::ShowUsage:
            return "ShowUsage";
        case ProgramAction::ShowVersion:
            return "ShowVersion";
        case ProgramAction::BadUsage:
            return "BadUsage";
    }
    return "?";
}

TEST(CommandLineTest, EachArgumentListGivesItsAction) {
    using A = ProgramAction;
    struct Case {
        std::vector<const char*> arguments;
        A posix;    // switches begin with "-" only
        A windows;  // "/" too
    };
    const Case cases[] = {
        {{}, A::Scan, A::Scan},
        {{"--check"}, A::CheckOnly, A::CheckOnly},
        {{"/check"}, A::BadUsage, A::CheckOnly},  // POSIX: refused, never a repairing run
        {{"/CHECK"}, A::BadUsage, A::CheckOnly},  // Windows' switches ignore case
        {{"/data"}, A::Scan, A::BadUsage},        // a path on POSIX
        {{"--CHECK"}, A::BadUsage, A::BadUsage},
        {{"-check"}, A::BadUsage, A::BadUsage},
        {{"--check=yes"}, A::BadUsage, A::BadUsage},
        {{"--help"}, A::ShowUsage, A::ShowUsage},
        {{"-h"}, A::ShowUsage, A::ShowUsage},
        {{"/?"}, A::ShowUsage, A::ShowUsage},
        {{"/h"}, A::Scan, A::BadUsage},
        {{"--version"}, A::ShowVersion, A::ShowVersion},
        {{"/version"}, A::Scan, A::BadUsage},
        {{"-x"}, A::BadUsage, A::BadUsage},
        {{"-"}, A::BadUsage, A::BadUsage},
        {{"--"}, A::BadUsage, A::BadUsage},
        {{"/"}, A::Scan, A::BadUsage},
        {{"/bogus"}, A::Scan, A::BadUsage},
        // Other arguments are paths, wherever they stand.
        {{"C:\\", "extra"}, A::Scan, A::Scan},
        {{"--require-backup"}, A::Scan, A::Scan},
        {{"/require-backup"}, A::Scan, A::Scan},  // POSIX: a path
        {{"--require-backup", "--check"}, A::CheckOnly, A::CheckOnly},
        {{"--Require-Backup"}, A::BadUsage, A::BadUsage},
        {{""}, A::Scan, A::Scan},
        {{"x", "--check", "y"}, A::CheckOnly, A::CheckOnly},
        {{"--check", "--check"}, A::CheckOnly, A::CheckOnly},
        // An unknown switch wins, then the usage, then the version.
        {{"--check", "--bogus"}, A::BadUsage, A::BadUsage},
        {{"--help", "-x"}, A::BadUsage, A::BadUsage},
        {{"--check", "--help"}, A::ShowUsage, A::ShowUsage},
        {{"--version", "-h"}, A::ShowUsage, A::ShowUsage},
        {{"--check", "--version"}, A::ShowVersion, A::ShowVersion},
    };
    for (const Case& c : cases) {
        std::string shown;
        const std::vector<PathString> arguments = Arguments(c.arguments, &shown);
        EXPECT_STREQ(Name(c.posix), Name(ParseCommandLine(arguments, false).action)) << shown;
        EXPECT_STREQ(Name(c.windows), Name(ParseCommandLine(arguments, true).action)) << shown;
    }
}

TEST(CommandLineTest, PathsSwitchesAndTheBadArgumentAreKept) {
    struct Case {
        std::vector<const char*> arguments;
        bool slash_switches;
        std::vector<const char*> paths;  // in the order given
        bool require_backup;
        const char* bad;  // the first unknown switch
    };
    const Case cases[] = {
        {{}, false, {}, false, ""},
        {{"/mnt/windows", "--check", "/data", "/mnt/windows"},
         false,
         {"/mnt/windows", "/data", "/mnt/windows"},  // the same twice: the run keeps one
         false,
         ""},
        {{"E:", "/check", "D:\\Data", "\\\\server\\share"},
         true,
         {"E:", "D:\\Data", "\\\\server\\share"},
         false,
         ""},
        {{"--require-backup", "/x"}, false, {"/x"}, true, ""},
        {{"/REQUIRE-BACKUP"}, true, {}, true, ""},
        {{"--chek", "--bogus"}, false, {}, false, "--chek"},
        {{"x", "/Check"}, false, {"x"}, false, "/Check"},  // POSIX: refused, never a path
        {{"/chek"}, true, {}, false, "/chek"},
        {{"", "a"}, false, {"a"}, false, ""},  // an empty argument names nothing
    };
    for (const Case& c : cases) {
        std::string shown;
        const std::vector<PathString> arguments = Arguments(c.arguments, &shown);
        const ProgramRequest request = ParseCommandLine(arguments, c.slash_switches);
        std::vector<PathString> paths;
        for (const char* path : c.paths) {
            paths.push_back(P(path));
        }
        EXPECT_EQ(paths, request.paths) << shown;
        EXPECT_EQ(c.require_backup, request.require_backup) << shown;
        EXPECT_EQ(P(c.bad), request.bad_argument) << shown;
    }
    EXPECT_EQ("unknown switch: --chek", UnknownSwitchLine("--chek"));
}

TEST(CommandLineTest, TheUsageNamesTheSwitchesTheLogAndTheExitStatuses) {
    for (const bool slash : {false, true}) {
        SCOPED_TRACE(slash ? "slash switches" : "dash switches");
        const std::string usage = UsageText(slash);
        for (const char* part :
             {"--check", "--require-backup", "PATH...", "removable drives", "--version",
              "--help, -h", "ZQCindervane.log", "Exit status", "0 nothing infected", "1 infected",
              "2 a file could not be", "unknown switch", "no folder"}) {
            EXPECT_NE(std::string::npos, usage.find(part)) << part << "\n" << usage;
        }
        EXPECT_EQ(slash, usage.find("/check") != std::string::npos) << usage;
        EXPECT_EQ(slash, usage.find("/?") != std::string::npos) << usage;
        EXPECT_EQ('\n', usage.back());
        size_t start = 0;
        for (size_t end = usage.find('\n'); end != std::string::npos;
             start = end + 1, end = usage.find('\n', start)) {
            EXPECT_LE(end - start, 79u) << usage.substr(start, end - start);
        }
    }
    EXPECT_EQ(0u, VersionText().rfind("ZQCindervane ", 0)) << VersionText();
}

}  // namespace
