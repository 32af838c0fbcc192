// ScanFolder's results below the end-to-end level: with the test signature an
// infected image is repaired and shows "Is Fix", one whose trailer cannot be
// followed (also the smallest image that carries the window) shows "Error"
// and stays as it was, and a clean one shows "Safe".
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "infect/infection_signatures.h"
#include "sample_builder/sample_builder.h"
#include "scan/scan_folder.h"
#include "scan/scan_stats.h"
#include "support/suite_fixture.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Bytes;
using Lines = std::vector<std::string>;

const char* const kTestEntries[] = {sample::kTestSignature};
const SignatureList kTestList = {kTestEntries, 1};

struct Case {
    std::string name;
    Bytes content;
    Bytes after;  // what the file holds after the scan
    std::string console_result;
    int logged_result;
};

bool Contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ScanFolderResultsTest, EachResultIsPrintedLoggedCountedAndLeavesTheRightFile) {
    quarantinetest::SuiteRegistry registry;  // the suite's key absent
    ASSERT_TRUE(registry.Usable());
    testsupport::TempDir dir;

    const Bytes clean = sample::BuildPe(8192);
    const sample::Sample infected = sample::BuildInfected(sample::BuildPe(6000, {false, false, 3}));
    sample::InfectOptions corrupt_options;
    corrupt_options.head_offset_field = 1;  // a head that no image can have
    const sample::Sample corrupt =
        sample::BuildInfected(sample::BuildPe(5000, {false, false, 5}), corrupt_options);
    // An image of exactly 2100 bytes whose last 1076 are the window: checked
    // infected on its listed size, and no trailer of it can be followed.
    Bytes windowed = sample::BuildPe(2100, {false, false, 7});
    const Bytes& pattern = sample::TestWindowPattern();
    std::copy(pattern.begin(), pattern.end(), windowed.begin() + 1024);
    const std::vector<Case> cases = {
        {"clean.exe", clean, clean, "Safe", 0},
        {"infected.exe", infected.infected, infected.repaired, "Is Fix", 2},
        {"corrupt.exe", corrupt.infected, corrupt.infected, "Error", -1},
        {"window_2100.exe", windowed, windowed, "Error", -1},
    };
    for (const Case& c : cases) {
        testsupport::WriteFile(dir.Join(c.name), c.content);
    }

    testsupport::LogCapture log;
    ResetScanStats();
    ::testing::internal::CaptureStdout();
    const BOOL walked = ScanFolder(dir.Path().native().c_str(), ScanOptions{&kTestList});
    const std::string console = ::testing::internal::GetCapturedStdout();
    const ScanStats stats = CurrentScanStats();
    const Lines lines = log.Lines();

    EXPECT_TRUE(walked);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir.Path() / c.name).string();
        EXPECT_NE(console.find("Path:" + path + "\tResult:" + c.console_result + "\n"),
                  std::string::npos)
            << console;
        EXPECT_TRUE(Contains(lines, "[ScanFolder][334]Path:" + path +
                                        ", Result:" + std::to_string(c.logged_result)));
        EXPECT_EQ(c.after, testsupport::ReadFile(dir.Join(c.name)));
    }
    EXPECT_EQ(4u, stats.images_examined);
    EXPECT_EQ(1u, stats.safe);
    EXPECT_EQ(1u, stats.fixed);
    EXPECT_EQ(2u, stats.error);
}

// What each kind of run makes of the same tree, the suite's library absent:
// a check never writes (every infected image Infected, a corrupt one too,
// since no repair is tried); a repair without a backup repairs and says so
// (line 152); a repair that requires a backup leaves every infected image as
// it was (line 153, Infected).
TEST(ScanFolderResultsTest, ChecksAndRequiredBackupsNeverWrite) {
    quarantinetest::SuiteRegistry registry;  // the suite's key absent
    ASSERT_TRUE(registry.Usable());
    const Bytes clean = sample::BuildPe(8192);
    const sample::Sample infected = sample::BuildInfected(sample::BuildPe(6000, {false, false, 3}));
    sample::InfectOptions corrupt_options;
    corrupt_options.head_offset_field = 1;
    const sample::Sample corrupt =
        sample::BuildInfected(sample::BuildPe(5000, {false, false, 5}), corrupt_options);

    struct Mode {
        const char* name;
        bool check_only;
        bool require_backup;
        // Logged results of infected.exe and corrupt.exe; infected.exe repaired.
        int infected_result, corrupt_result;
        bool repaired;
        const char* backup_line;  // before infected.exe's 334 line, or null
        uint64_t fixed, infected_count, error, fixed_without_backup;
    };
    const Mode modes[] = {
        {"check", true, false, 1, 1, false, nullptr, 0, 2, 0, 0},
        {"repair", false, false, 2, -1, true,
         "[DisinfectFile][152]No backup kept, repaired anyway:", 1, 0, 1, 1},
        {"backup required", false, true, 1, 1, false,
         "[DisinfectFile][153]No backup kept, not repaired:", 0, 2, 0, 0},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        testsupport::TempDir dir;
        testsupport::WriteFile(dir.Join("clean.exe"), clean);
        testsupport::WriteFile(dir.Join("infected.exe"), infected.infected);
        testsupport::WriteFile(dir.Join("corrupt.exe"), corrupt.infected);
        ScanOptions options{&kTestList};
        options.check_only = mode.check_only;
        options.require_backup = mode.require_backup;

        testsupport::LogCapture log;
        ResetScanStats();
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(ScanFolder(dir.Path().native().c_str(), options));
        ::testing::internal::GetCapturedStdout();
        const ScanStats stats = CurrentScanStats();
        const Lines lines = log.Lines();

        const std::string infected_path = (dir.Path() / "infected.exe").string();
        const std::string corrupt_path = (dir.Path() / "corrupt.exe").string();
        EXPECT_TRUE(Contains(lines, "[ScanFolder][334]Path:" + infected_path +
                                        ", Result:" + std::to_string(mode.infected_result)));
        EXPECT_TRUE(Contains(lines, "[ScanFolder][334]Path:" + corrupt_path +
                                        ", Result:" + std::to_string(mode.corrupt_result)));
        EXPECT_EQ(mode.repaired ? infected.repaired : infected.infected,
                  testsupport::ReadFile(dir.Join("infected.exe")));
        EXPECT_EQ(corrupt.infected, testsupport::ReadFile(dir.Join("corrupt.exe")));
        EXPECT_EQ(clean, testsupport::ReadFile(dir.Join("clean.exe")));
        if (mode.backup_line != nullptr) {
            EXPECT_TRUE(Contains(lines, mode.backup_line + infected_path)) << mode.backup_line;
        }
        EXPECT_EQ(mode.fixed, stats.fixed);
        EXPECT_EQ(mode.infected_count, stats.infected);
        EXPECT_EQ(mode.error, stats.error);
        EXPECT_EQ(mode.fixed_without_backup, stats.fixed_without_backup);
        EXPECT_EQ(1u, stats.safe);
    }
}

}  // namespace
