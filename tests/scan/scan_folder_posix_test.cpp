// ScanFolder where file permissions deny a folder (POSIX; the capabilities
// that would let root past them are lowered for the test).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/file_access_posix.h"
#include "platform/fault_seam.h"
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
        testsupport::WithoutFileAccess lowered;
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
        testsupport::WithoutFileAccess lowered;
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

// The walk holds a descriptor only for its innermost levels: with a limit of
// 128 descriptors (soft and hard, so none can be had beyond it) it still
// reaches the deepest folder the path buffer allows, and a folder it left
// for a sub-folder, given back and reopened meanwhile, is listed to its end.
TEST(ScanFolderPosixTest, DepthDoesNotDependOnTheDescriptorLimit) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    const fs::path start = fs::current_path();
    fs::path folder = dir.Path();
    fs::current_path(folder);
    std::vector<std::string> expected;
    // Levels whose listings take several reads: where the sub-folder falls in
    // the listing is the filesystem's choice, so several such levels make
    // sure that some listing goes on after its sub-folder's walk.
    const int kWideLevels = 3;
    const int kWideFiles = 1100;  // a little more than one read of 32 KiB
    for (int level = 0; folder.string().size() + 2 + 1 + 8 + 1 < ZQ_FILE_PATH_CHARS; ++level) {
        if (level >= 1 && level <= kWideLevels) {
            for (int i = 0; i < kWideFiles; ++i) {
                const std::string name = "w" + std::to_string(level) + "-" + std::to_string(i);
                testsupport::WriteFile(name, sample::BuildPe(600));
                expected.push_back("Path:" + (folder / name).string() + "\tResult:Safe");
            }
        }
        fs::create_directory("d");
        fs::current_path("d");
        folder /= "d";
    }
    testsupport::WriteFile("deep.exe", sample::BuildPe(600));
    expected.push_back("Path:" + (folder / "deep.exe").string() + "\tResult:Safe");
    fs::current_path(start);
    ASSERT_GT(folder.string().size(), ZQ_FILE_PATH_CHARS - 16u);

    const std::string console = (dir.Path() / "console.txt").string();
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        const int out = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        struct rlimit limit = {128, 128};
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0 || setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            _exit(2);
        }
        const BOOL result = ScanFolder(dir.Path().c_str());
        fflush(stdout);
        _exit(result ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));

    std::vector<std::string> printed;
    std::istringstream lines(testsupport::ReadText(console));
    for (std::string line; std::getline(lines, line);) {
        printed.push_back(line);
    }
    std::sort(printed.begin(), printed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(printed == expected)
        << printed.size() << " lines printed, " << expected.size() << " expected";
}

// A folder whose descriptor the walk gave back, replaced by another folder of
// the same name before the walk returns to it: the walk does not list the
// stranger as if it were the folder it left, logs the folder once with
// ESTALE, and goes on.
TEST(ScanFolderPosixTest, FolderReplacedWhileItsDescriptorWasGivenBackEndsWithALogLine) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    fs::path deepest = dir.Path() / "x";
    for (int level = 0; level < 80; ++level) {
        deepest /= "d";
    }
    fs::create_directories(deepest);
    testsupport::WriteFile(deepest / "deep.exe", sample::BuildPe(600));
    testsupport::WriteFile(dir.Path() / "x" / "late.exe", sample::BuildPe(600));

    Lines lines;
    std::string console;
    {
        testsupport::LogCapture log;
        platform::fault::Rule rule;
        // Right before the first file is opened: deep.exe, 80 levels down.
        rule.op = platform::fault::Op::Open;
        rule.effect = platform::fault::Effect::None;
        rule.before = [&] {
            fs::rename(dir.Path() / "x", dir.Path() / ".moved");
            fs::create_directory(dir.Path() / "x");
            testsupport::WriteFile(dir.Path() / "x" / "stranger.exe", sample::BuildPe(600));
        };
        platform::fault::Scoped armed(rule);
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(ScanFolder(dir.Path().c_str()));
        console = ::testing::internal::GetCapturedStdout();
        lines = log.Lines();
    }
    // Neither the replacement's file nor, through the replacement, the
    // rest of the folder that was left.
    EXPECT_EQ(std::string::npos, console.find("stranger.exe"));
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(),
                            "[ScanFolder][275]Call FindFirstFile failed: 116"));  // ESTALE
}
