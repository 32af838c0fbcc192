// Paths on the Windows console and in the log: a character that code page
// 936 cannot show prints as "?" and the rest of the path and the result
// always follow; what it can show keeps the bytes of the "chs" conversion;
// a line that carries a long path is never cut.
#include <gtest/gtest.h>

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
    const wchar_t* name;
    // The shown forms accepted: a character outside the Basic Multilingual
    // Plane is two UTF-16 units, which the system may show as one "?" or
    // two.
    std::vector<std::string> shown;
};

const Shown kNames[] = {
    {L"plain.exe", {"plain.exe"}},
    {L"5_ni\u00f1o.exe", {"5_ni?o.exe"}},                                  // Latin, not in 936
    {L"caf\u00e9.exe", {"caf\xa8\xa6.exe"}},                               // Latin, in 936
    {L"\u4e2d\u6587.exe", {"\xd6\xd0\xce\xc4.exe"}},                       // Chinese
    {L"\u0457\u0436\u0430\u043a.exe", {"?\xa7\xd8\xa7\xd1\xa7\xdc.exe"}},  // Cyrillic, partly
    {L"\U0001F600smile.exe", {"?smile.exe", "??smile.exe"}},               // emoji
    {L"e\u0301t\u0308e.exe", {"e?t?e.exe"}},                               // combining marks
};

bool OneOf(const std::string& text, const std::vector<std::string>& forms) {
    for (const std::string& form : forms) {
        if (text == form) {
            return true;
        }
    }
    return false;
}

TEST(ShownPath, EveryCharacterOutsideTheCodePageIsAQuestionMark) {
    for (const Shown& c : kNames) {
        EXPECT_TRUE(OneOf(platform::PathText(c.name), c.shown))
            << platform::PathText(c.name) << " for " << c.shown.front();
    }
    EXPECT_EQ(platform::PathText(nullptr), "");
    EXPECT_EQ(platform::PathText(L""), "");
}

struct ScanOutput {
    Lines log;
    std::string console;
};

ScanOutput Scan(const PathString& root) {
    ScanOutput out;
    testsupport::LogCapture log;
    ::testing::internal::CaptureStdout();
    ScanFolder(root.c_str());
    out.console = ::testing::internal::GetCapturedStdout();
    out.log = log.Lines();
    return out;
}

// Each name as a file and as a folder holding "x2.exe": the console line and
// the log's result line carry the whole path, its unshowable characters as
// "?", and the result.
TEST(ShownPath, FileAndFolderNamesOutsideTheCodePagePrintWhole) {
    testsupport::TempDir dir;
    const std::string root = platform::PathText(dir.Path().native().c_str());
    for (const Shown& c : kNames) {
        testsupport::WriteFile(dir.Path() / c.name, sample::BuildPe(1024));
        testsupport::WriteFile(dir.Path() / (std::wstring(L"dir_") + c.name) / L"x2.exe",
                               sample::BuildPe(1024));
    }
    const ScanOutput out = Scan(dir.Path().native());

    size_t console_lines = 0;
    for (size_t at = 0; (at = out.console.find('\n', at)) != std::string::npos; ++at) {
        ++console_lines;
    }
    EXPECT_EQ(console_lines, 2 * std::size(kNames)) << out.console;
    for (const Shown& c : kNames) {
        bool file_found = false;
        bool folder_found = false;
        for (const std::string& shown : c.shown) {
            const std::string file = root + "\\" + shown;
            const std::string nested = root + "\\dir_" + shown + "\\x2.exe";
            if (out.console.find("Path:" + file + "\tResult:Safe\n") != std::string::npos) {
                file_found = true;
                EXPECT_NE(std::find(out.log.begin(), out.log.end(),
                                    "[ScanFolder][334]Path:" + file + ", Result:0"),
                          out.log.end())
                    << file;
            }
            if (out.console.find("Path:" + nested + "\tResult:Safe\n") != std::string::npos) {
                folder_found = true;
                EXPECT_NE(
                    std::find(out.log.begin(), out.log.end(),
                              "[ScanFolder][300]Start Scanning Folder:" + root + "\\dir_" + shown),
                    out.log.end())
                    << nested;
                EXPECT_NE(std::find(out.log.begin(), out.log.end(),
                                    "[ScanFolder][334]Path:" + nested + ", Result:0"),
                          out.log.end())
                    << nested;
            }
        }
        EXPECT_TRUE(file_found) << c.shown.front() << "\n" << out.console;
        EXPECT_TRUE(folder_found) << c.shown.front() << "\n" << out.console;
    }
}

// A file path of 259 characters, most of them Chinese (two bytes each in
// code page 936): lines 309 and 334 hold more than 499 bytes and are not
// cut; the result follows the whole path.
TEST(ShownPath, ALongChinesePathKeepsItsResultLine) {
    testsupport::TempDir dir;
    const std::wstring root = dir.Path().native();
    std::wstring path = root;
    std::string shown = platform::PathText(root.c_str());
    // Components of at most 80 characters: the name of each stays within
    // 255 bytes where the files end up on a UTF-8 filesystem.
    constexpr size_t kTarget = 259;
    while (kTarget - path.size() - 1 - 4 > 80) {
        const std::wstring folder(std::min<size_t>(80, kTarget - path.size() - 1 - 4 - 1 - 10),
                                  L'\u6587');
        path += L"\\" + folder;
        shown += "\\" + platform::PathText(folder.c_str());
    }
    const std::wstring name(kTarget - path.size() - 1 - 4, L'\u4e2d');
    path += L"\\" + name + L".exe";
    shown += "\\" + platform::PathText(name.c_str()) + ".exe";
    ASSERT_EQ(path.size(), kTarget);
    testsupport::WriteFile(fs::path(path), sample::BuildPe(1024));

    const ScanOutput out = Scan(root);
    const std::string result = "[ScanFolder][334]Path:" + shown + ", Result:0";
    ASSERT_GT(result.size(), 499u);
    EXPECT_NE(std::find(out.log.begin(), out.log.end(), result), out.log.end());
    EXPECT_NE(
        std::find(out.log.begin(), out.log.end(), "[ScanFolder][309]Start Scanning File:" + shown),
        out.log.end());
    EXPECT_EQ(out.console, "Path:" + shown + "\tResult:Safe\n");
}

}  // namespace
