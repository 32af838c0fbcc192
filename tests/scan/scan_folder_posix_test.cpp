// ScanFolder where file permissions deny a folder (POSIX; the capabilities
// that would let root past them are lowered for the test).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file_access_posix.h"
#include "sample_builder/sample_builder.h"
#include "scan/scan_folder.h"
#include "scan/scan_stats.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using Lines = std::vector<std::string>;

TEST(ScanFolderPosixTest, FolderThatCannotBeListedIsLoggedOnceAndTheWalkGoesOn) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("locked/hidden.exe"), sample::BuildPe(1024));
    testsupport::WriteFile(dir.Join("open/seen.exe"), sample::BuildPe(1024));
    ASSERT_EQ(0, chmod(dir.Join("locked").c_str(), 0));

    Lines lines;
    ResetScanStats();
    {
        scantest::WithoutFileAccess lowered;
        ASSERT_TRUE(lowered.Ok());
        testsupport::LogCapture log;
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(ScanFolder(dir.Path().c_str()));
        ::testing::internal::GetCapturedStdout();
        lines = log.Lines();
    }
    chmod(dir.Join("locked").c_str(), 0755);
    const ScanStats stats = CurrentScanStats();
    EXPECT_EQ(2u, stats.folders_entered);  // the root and "open"
    EXPECT_EQ(1u, stats.folders_unlisted);
    EXPECT_EQ(1u, stats.images_examined);

    const Lines locked = {"[ScanFolder][300]Start Scanning Folder:" + dir.Join("locked"),
                          "[ScanFolder][275]Call FindFirstFile failed: 13"};  // EACCES
    const std::string seen = dir.Join("open/seen.exe");
    const Lines open = {"[ScanFolder][300]Start Scanning Folder:" + dir.Join("open"),
                        "[ScanFolder][309]Start Scanning File:" + seen,
                        "[ScanFolder][334]Path:" + seen + ", Result:0"};
    Lines either_order = locked;
    either_order.insert(either_order.end(), open.begin(), open.end());
    Lines other_order = open;
    other_order.insert(other_order.end(), locked.begin(), locked.end());
    EXPECT_TRUE(lines == either_order || lines == other_order) << ::testing::PrintToString(lines);
}

// A folder whose listing takes several reads of the system's directory
// search, with sub-folders met between them: every entry comes once, in the
// order in which the system lists them, and each sub-folder is walked whole
// when it is met, the rest of its parent's listing kept meanwhile.
TEST(ScanFolderPosixTest, LongListingIsWalkedInTheSystemsOrder) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    const std::string padding(60, 'n');
    for (int i = 0; i < 1200; ++i) {
        testsupport::WriteFile(dir.Join(padding + std::to_string(i) + ".txt"), std::string("x"));
    }
    for (int i = 0; i < 3; ++i) {
        testsupport::WriteFile(dir.Join("sub" + std::to_string(i) + "/inner.txt"),
                               std::string("y"));
    }

    Lines expected;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.Path())) {
        const std::string path = entry.path().string();
        if (entry.is_directory()) {
            expected.push_back("[ScanFolder][300]Start Scanning Folder:" + path);
            expected.push_back("[ScanFolder][309]Start Scanning File:" + path + "/inner.txt");
        } else {
            expected.push_back("[ScanFolder][309]Start Scanning File:" + path);
        }
        expected.push_back("[ScanFolder][338]Not PE-Type, no need to scan");
    }
    ASSERT_EQ(2 * 1200u + 3 * 3u, expected.size());

    Lines lines;
    {
        testsupport::LogCapture log;
        EXPECT_TRUE(ScanFolder(dir.Path().c_str()));
        lines = log.Lines();
    }
    EXPECT_EQ(expected, lines);
}

// A file that the permissions keep from being opened: the failed open and
// "Not PE-Type" are logged, the console shows nothing, and the counters
// hold it as unreadable (not as examined).
TEST(ScanFolderPosixTest, FileThatCannotBeOpenedIsCountedAsUnreadable) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("closed.exe"), sample::BuildPe(1024));
    ASSERT_EQ(0, chmod(dir.Join("closed.exe").c_str(), 0));

    Lines lines;
    std::string console;
    ResetScanStats();
    {
        scantest::WithoutFileAccess lowered;
        ASSERT_TRUE(lowered.Ok());
        testsupport::LogCapture log;
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(ScanFolder(dir.Path().c_str()));
        console = ::testing::internal::GetCapturedStdout();
        lines = log.Lines();
    }
    const ScanStats stats = CurrentScanStats();
    const Lines expected = {"[ScanFolder][309]Start Scanning File:" + dir.Join("closed.exe"),
                            "[CommFunc::IsFilePE][66]Call CreateFile failed: 13",  // EACCES
                            "[ScanFolder][338]Not PE-Type, no need to scan"};
    EXPECT_EQ(expected, lines);
    EXPECT_EQ("", console);
    EXPECT_EQ(1u, stats.files_seen);
    EXPECT_EQ(1u, stats.unreadable);
    EXPECT_EQ(0u, stats.images_examined);
}

}  // namespace
