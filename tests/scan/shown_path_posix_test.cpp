// Paths on the POSIX console and in the log: control bytes in a name are
// written as visible escapes, so no name can start a line, forge a log line
// or move the terminal's cursor; the backslash that begins an escape is
// escaped itself, so no two names print alike; every other byte prints as
// it is; a line that carries a long path is never cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/path_text.h"
#include "sample_builder/sample_builder.h"
#include "scan/scan_folder.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct Shown {
    std::string name;
    std::string shown;
};

const Shown kNames[] = {
    {"plain.exe", "plain.exe"},
    {"new\nline.exe", "new\\x0aline.exe"},
    {"fake.exe\tResult:Safe\nPath:x.exe", "fake.exe\\x09Result:Safe\\x0aPath:x.exe"},
    {"carriage\rreturn.exe", "carriage\\x0dreturn.exe"},
    {"\x1b[2Kerase.exe", "\\x1b[2Kerase.exe"},
    {"del\x7f.exe", "del\\x7f.exe"},
    {"\x01\x1f.exe", "\\x01\\x1f.exe"},
    {"back\\slash.exe", "back\\x5cslash.exe"},
    {"new\\x0aline.exe", "new\\x5cx0aline.exe"},  // the four characters, not a line feed
    {"\xc3\xbc\xe4\xb8\xad.exe", "\xc3\xbc\xe4\xb8\xad.exe"},  // UTF-8, byte for byte
    {"\xff\xfe.exe", "\xff\xfe.exe"},                          // not UTF-8, byte for byte
};

TEST(ShownPath, ControlBytesAreEscapedAndEveryOtherByteKept) {
    for (const Shown& c : kNames) {
        EXPECT_EQ(platform::PathText(c.name.c_str()), c.shown);
    }
    EXPECT_EQ(platform::PathText(nullptr), "");
    // Different names never print alike.
    for (const Shown& a : kNames) {
        for (const Shown& b : kNames) {
            if (a.name != b.name) {
                EXPECT_NE(platform::PathText(a.name.c_str()), platform::PathText(b.name.c_str()))
                    << a.shown;
            }
        }
    }
}

struct ScanOutput {
    Lines log;
    std::string console;
};

ScanOutput Scan(const std::string& root) {
    ScanOutput out;
    testsupport::LogCapture log;
    ::testing::internal::CaptureStdout();
    ScanFolder(root.c_str());
    out.console = ::testing::internal::GetCapturedStdout();
    out.log = log.Lines();
    return out;
}

Lines SplitLines(const std::string& text) {
    Lines lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "the console ends inside a line";
    return lines;
}

// One console line and one log result line per image, each naming it with
// the escapes, in files and in folder names.
TEST(ShownPath, NamesWithControlBytesGiveOneLineEach) {
    testsupport::TempDir dir;
    const std::string root = dir.Path().string();
    Lines want_console;
    Lines want_results;
    for (const Shown& c : kNames) {
        testsupport::WriteFile(dir.Path() / c.name, sample::BuildPe(1024));
        testsupport::WriteFile(dir.Path() / ("dir_" + c.name) / "x2.exe", sample::BuildPe(1024));
        for (const std::string& shown :
             {root + "/" + c.shown, root + "/dir_" + c.shown + "/x2.exe"}) {
            want_console.push_back("Path:" + shown + "\tResult:Safe");
            want_results.push_back("[ScanFolder][334]Path:" + shown + ", Result:0");
        }
    }
    const ScanOutput out = Scan(root);
    Lines console = SplitLines(out.console);
    Lines results;
    for (const std::string& line : out.log) {
        if (line.rfind("[ScanFolder][334]", 0) == 0) {
            results.push_back(line);
        }
        EXPECT_EQ(line.find_first_of("\r\n\x1b\x7f"), std::string::npos) << line;
    }
    for (Lines* lines : {&want_console, &console, &want_results, &results}) {
        std::sort(lines->begin(), lines->end());
    }
    EXPECT_EQ(console, want_console);
    EXPECT_EQ(results, want_results);
}

// A file path of 4095 bytes: lines 309 and 334 hold it whole, the result
// after it.
TEST(ShownPath, TheLongestFilePathKeepsItsResultLine) {
    testsupport::TempDir dir;
    std::string path = dir.Path().string();
    constexpr size_t kTarget = 4095;
    while (kTarget - path.size() - 1 > 200) {
        path += "/" + std::string(199, 'd');
    }
    path += "/" + std::string(kTarget - path.size() - 1 - 4, 'f') + ".exe";
    ASSERT_EQ(path.size(), kTarget);
    testsupport::WriteFile(path, sample::BuildPe(1024));

    const ScanOutput out = Scan(dir.Path().string());
    EXPECT_NE(
        std::find(out.log.begin(), out.log.end(), "[ScanFolder][334]Path:" + path + ", Result:0"),
        out.log.end());
    EXPECT_NE(
        std::find(out.log.begin(), out.log.end(), "[ScanFolder][309]Start Scanning File:" + path),
        out.log.end());
    EXPECT_EQ(out.console, "Path:" + path + "\tResult:Safe\n");
}

}  // namespace
