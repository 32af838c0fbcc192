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
        {{"/data"}, A::Scan, A::BadUsage},        // a path on POSIX: ignored
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
        // Other arguments are ignored, wherever they stand.
        {{"C:\\", "extra"}, A::Scan, A::Scan},
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
        std::vector<PathString> arguments;
        std::string shown;
        for (const char* argument : c.arguments) {
            arguments.push_back(P(argument));
            shown += std::string(" '") + argument + "'";
        }
        EXPECT_STREQ(Name(c.posix), Name(ParseCommandLine(arguments, false))) << shown;
        EXPECT_STREQ(Name(c.windows), Name(ParseCommandLine(arguments, true))) << shown;
    }
}

TEST(CommandLineTest, TheUsageNamesTheSwitchesTheLogAndTheExitStatuses) {
    for (const bool slash : {false, true}) {
        SCOPED_TRACE(slash ? "slash switches" : "dash switches");
        const std::string usage = UsageText(slash);
        for (const char* part :
             {"--check", "--version", "--help, -h", "ZQCindervane.log", "Exit status",
              "0 nothing infected", "1 infected", "2 a file could not be", "unknown switch"}) {
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
