// ScanFolder where file permissions deny a folder (POSIX; the capabilities
// that would let root past them are lowered for the test).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "file_access_posix.h"
#include "sample_builder/sample_builder.h"
#include "scan/scan_folder.h"
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

}  // namespace
