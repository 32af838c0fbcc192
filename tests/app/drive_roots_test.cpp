// The entry scans each root in order, each announced first, and its log lies
// beside the executable.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/scan_main.h"
#include "platform/module_path.h"
#include "sample_builder/sample_builder.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

TEST(ScanRootsTest, EachRootIsAnnouncedThenScannedInOrder) {
    testsupport::TempDir first;
    testsupport::TempDir second;
    testsupport::WriteFile(first.Join("one.exe"), sample::BuildPe(1024));
    testsupport::WriteFile(second.Join("two.exe"), sample::BuildPe(1024));
    const std::vector<PathString> roots = {first.Path().native(), second.Path().native()};

    testsupport::LogCapture log;
    ::testing::internal::CaptureStdout();
    ScanRoots(roots);
    const std::string console = ::testing::internal::GetCapturedStdout();
    const Lines lines = log.Lines();

    const std::string one = first.Path().string();
    const std::string two = second.Path().string();
    const std::string one_exe = fs::path(first.Join("one.exe")).string();
    const std::string two_exe = fs::path(second.Join("two.exe")).string();
    EXPECT_EQ((Lines{"[wmain][440]Start Scanning Folder:" + one,
                     "[ScanFolder][309]Start Scanning File:" + one_exe,
                     "[ScanFolder][334]Path:" + one_exe + ", Result:0",
                     "[wmain][440]Start Scanning Folder:" + two,
                     "[ScanFolder][309]Start Scanning File:" + two_exe,
                     "[ScanFolder][334]Path:" + two_exe + ", Result:0"}),
              lines);
    EXPECT_EQ("Path:" + one_exe + "\tResult:Safe\nPath:" + two_exe + "\tResult:Safe\n", console);
}

// A root whose listing cannot be opened is handed back (nothing on it was
// scanned: standard error will say so), after its line 275; the next root
// is scanned as usual.
TEST(ScanRootsTest, ARootThatCannotBeListedIsHandedBack) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("one.exe"), sample::BuildPe(1024));
    const PathString missing = dir.Join("missing");
    const std::vector<PathString> roots = {missing, dir.Path().native()};

    testsupport::LogCapture log;
    ::testing::internal::CaptureStdout();
    const std::vector<PathString> unlisted = ScanRoots(roots);
    const std::string console = ::testing::internal::GetCapturedStdout();
    const Lines lines = log.Lines();

    EXPECT_EQ(std::vector<PathString>{missing}, unlisted);
    ASSERT_GE(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_EQ("[wmain][440]Start Scanning Folder:" + fs::path(missing).string(), lines[0]);
    EXPECT_EQ("[ScanFolder][275]Call FindFirstFile failed: " +
                  std::to_string(testsupport::kErrFolderMissing),
              lines[1]);
    EXPECT_EQ("[wmain][440]Start Scanning Folder:" + dir.Path().string(), lines[2]);
    EXPECT_EQ("Path:" + fs::path(dir.Join("one.exe")).string() + "\tResult:Safe\n", console);
}

TEST(LogPathTest, LogFileLiesBesideTheExecutable) {
    const fs::path log_path(LogPath());
    EXPECT_EQ("ZQCindervane.log", log_path.filename().string());
    ASSERT_TRUE(fs::is_directory(log_path.parent_path())) << log_path.string();
    // This test program lies in that folder.
    bool found = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(log_path.parent_path())) {
        found = found || entry.path().stem() == "app_test";
    }
    EXPECT_TRUE(found) << log_path.string();
}

}  // namespace
