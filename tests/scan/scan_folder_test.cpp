// ScanFolder over folder trees built at test time: what is examined, what is
// printed and logged, in which order, and how deep and how safely it walks.
#include "scan/scan_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dir_search.h"
#include "platform/entry_rules.h"
#include "platform/file.h"
#include "platform/listing_seam.h"
#include "platform/path_forms.h"
#include "platform/windows_dir.h"
#include "sample_builder/sample_builder.h"
#include "scan/scan_folder_seam.h"
#include "scan/scan_stats.h"
#include "scan/windows_dir_rule.h"
#include "sparse_file.h"
#include "support/held_file.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using Lines = std::vector<std::string>;

using testsupport::kWindows;
const std::string kSep(1, static_cast<char>(fs::path::preferred_separator));

struct ScanRun {
    BOOL result = FALSE;
    Lines log;
    std::string console;
    ScanStats stats;  // the counters of this scan alone
};

ScanRun Scan(const PathChar* root) {
    ScanRun run;
    testsupport::LogCapture log;
    ResetScanStats();
    ::testing::internal::CaptureStdout();
    run.result = ScanFolder(root);
    run.console = ::testing::internal::GetCapturedStdout();
    run.stats = CurrentScanStats();
    run.log = log.Lines();
    return run;
}

std::string Narrow(const fs::path& path) {
    return path.string();
}

std::string Folder(const std::string& path) {
    return "[ScanFolder][300]Start Scanning Folder:" + path;
}
std::string File(const std::string& path) {
    return "[ScanFolder][309]Start Scanning File:" + path;
}
std::string Result(const std::string& path, int result) {
    return "[ScanFolder][334]Path:" + path + ", Result:" + std::to_string(result);
}
const std::string kNotPe = "[ScanFolder][338]Not PE-Type, no need to scan";

// `log` is made of `blocks` and nothing else, each block's lines together
// and in their order (the blocks themselves in any order).
void ExpectLogOfBlocks(const Lines& log, const std::vector<Lines>& blocks) {
    size_t total = 0;
    for (const Lines& block : blocks) {
        const size_t first =
            static_cast<size_t>(std::find(log.begin(), log.end(), block.front()) - log.begin());
        ASSERT_LT(first, log.size()) << block.front();
        ASSERT_LE(first + block.size(), log.size());
        EXPECT_EQ(block, Lines(log.begin() + static_cast<long>(first),
                               log.begin() + static_cast<long>(first + block.size())));
        total += block.size();
    }
    EXPECT_EQ(total, log.size());
}

class ScanFolderTest : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;

    std::string Root() const { return Narrow(dir_.Path()); }
    std::string At(const std::string& name) const { return Narrow(dir_.Join(name)); }
    void Put(const std::string& name, const Bytes& bytes) const {
        testsupport::WriteFile(dir_.Join(name), bytes);
    }
    void Sized(const std::string& name, uint64_t size) const {
        ASSERT_TRUE(scantest::MakeSparseFile(dir_.Join(name).c_str(), size)) << name;
    }
};

TEST(WindowsDirRuleTest, MatchesThePathsThatContainTheWindowsDirectory) {
    struct Case {
        const PathChar* folder;
        const PathChar* windows_dir;
        bool inside;
    };
    const Case cases[] = {
        {ZQ_T("C:\\Windows"), ZQ_T("C:\\Windows"), true},
        {ZQ_T("C:\\WINDOWS"), ZQ_T("C:\\Windows"), true},
        {ZQ_T("C:\\windows"), ZQ_T("C:\\WINDOWS"), true},
        {ZQ_T("C:\\Windows.old"), ZQ_T("C:\\Windows"), true},
        {ZQ_T("C:\\Windows\\System32"), ZQ_T("C:\\Windows"), true},
        {ZQ_T("D:\\Windows"), ZQ_T("C:\\Windows"), false},
        {ZQ_T("C:\\Program Files"), ZQ_T("C:\\Windows"), false},
        {ZQ_T("C:\\Win"), ZQ_T("C:\\Windows"), false},
        // No Windows directory (POSIX): nothing is excluded.
        {ZQ_T("/usr"), ZQ_T(""), false},
        {ZQ_T(""), ZQ_T(""), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fs::path(c.folder).string() + " in " + fs::path(c.windows_dir).string());
        EXPECT_EQ(c.inside, IsInWindowsDirectory(c.folder, c.windows_dir));
    }
}

TEST_F(ScanFolderTest, ExaminesImagesDepthFirstAndPassesOverTheRest) {
    Put("app.exe", sample::BuildPe(4096));
    Put("lib.dll", sample::BuildPe(4096, {true, false, 1}));
    Put("readme.txt", Bytes{'h', 'i'});
    Put(".hidden.exe", sample::BuildPe(4096));
    Put(".git/inner.exe", sample::BuildPe(4096));
    Put("sub/deeper/tool.exe", sample::BuildPe(2048, {false, true, 2}));
    Put("Windows/system.exe", sample::BuildPe(1024));  // not the Windows directory
    fs::create_directory(dir_.Path() / "empty");

    const ScanRun run = Scan(dir_.Path().c_str());
    EXPECT_TRUE(run.result);

    const std::string app = At("app.exe");
    const std::string tool = At("sub/deeper/tool.exe");
    const std::string system = At("Windows/system.exe");
    // Each block of lines below is contiguous: a sub-folder is walked
    // completely when it is met.
    const std::vector<Lines> blocks = {
        {File(app), Result(app, 0)},
        {File(At("lib.dll")), kNotPe},
        {File(At("readme.txt")), kNotPe},
        {Folder(At("sub")), Folder(At("sub/deeper")), File(tool), Result(tool, 0)},
        {Folder(At("Windows")), File(system), Result(system, 0)},
        {Folder(At("empty"))},
    };
    // Nothing else, nothing about dot names.
    ASSERT_NO_FATAL_FAILURE(ExpectLogOfBlocks(run.log, blocks));

    for (const std::string& path : {app, tool, system}) {
        EXPECT_NE(std::string::npos, run.console.find("Path:" + path + "\tResult:Safe\n"));
    }
    EXPECT_EQ(3 * std::string("\tResult:Safe\n").size() + app.size() + tool.size() + system.size() +
                  3 * std::string("Path:").size(),
              run.console.size());
}

// The walk enters neither the Windows directory nor a folder whose path
// contains its text (compared in upper case), and says nothing of them; a
// folder of the same name elsewhere is walked. The Windows directory is
// named by the test, so the walk meets one on every backend.
TEST_F(ScanFolderTest, TheWindowsDirectoryIsNotEntered) {
    for (const char* file : {"Win/a.exe", "Win.old/b.exe", "Wi/c.exe", "sub/Win/d.exe"}) {
        Put(file, sample::BuildPe(1024));
    }
    struct Named {
        explicit Named(const PathString& folder) {
            platform::SetWindowsDirectoryForTesting(folder.c_str());
        }
        ~Named() { platform::SetWindowsDirectoryForTesting(nullptr); }
    } windows(fs::path(Root() + kSep + "WIN").native());
    const ScanRun run = Scan(dir_.Path().c_str());
    EXPECT_TRUE(run.result);
    Lines expected = {Folder(At("Wi")),
                      File(At("Wi/c.exe")),
                      Result(At("Wi/c.exe"), 0),
                      Folder(At("sub")),
                      Folder(At("sub/Win")),
                      File(At("sub/Win/d.exe")),
                      Result(At("sub/Win/d.exe"), 0)};
    Lines actual = run.log;
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(expected, actual);
    EXPECT_EQ(4u, run.stats.folders_entered);  // the root, Wi, sub, sub/Win
    EXPECT_EQ(0u, run.stats.not_scanned);
}

TEST_F(ScanFolderTest, SizeLimitIsOnTheLowThirtyTwoBits) {
    Sized("limit.bin", 104857600);
    Sized("over.bin", 104857601);
    const ScanRun run = Scan(dir_.Path().c_str());
    EXPECT_TRUE(run.result);
    EXPECT_EQ((Lines{File(At("limit.bin")), kNotPe}), run.log);
    EXPECT_EQ("", run.console);
}

TEST_F(ScanFolderTest, FileOfFourGibibytesAndMorePassesOnItsLowBits) {
    Sized("huge.bin", 0x100000000ull + 1000);
    const ScanRun run = Scan(dir_.Path().c_str());
    // Only the first page is mapped (a 32-bit process could not map the
    // whole file): examined on its low bits, as everywhere.
    EXPECT_EQ((Lines{File(At("huge.bin")), kNotPe}), run.log);
}

TEST_F(ScanFolderTest, EmptyFolderGivesTrueAndNoOutput) {
    const ScanRun run = Scan(dir_.Path().c_str());
    EXPECT_TRUE(run.result);
    EXPECT_TRUE(run.log.empty());
    EXPECT_EQ("", run.console);
}

TEST_F(ScanFolderTest, AbsentPathAndFolderThatCannotBeListed) {
    const ScanRun absent = Scan(nullptr);
    EXPECT_FALSE(absent.result);
    EXPECT_EQ(Lines{"[ScanFolder][261]Invalid Param"}, absent.log);

    const ScanRun missing = Scan(dir_.Join("missing").c_str());
    EXPECT_FALSE(missing.result);
    const int code = static_cast<int>(testsupport::kErrFolderMissing);
    EXPECT_EQ(Lines{"[ScanFolder][275]Call FindFirstFile failed: " + std::to_string(code)},
              missing.log);
    EXPECT_EQ("", missing.console);
}

// Which folders are compared with the folders open above, through a fake
// identity source: only a folder that may lead back (on Windows a reparse
// point) is, so ordinary folders cost no identity query and are entered even
// when their identities look alike; an identity that cannot be had, or whose
// index is zero, matches nothing.
TEST_F(ScanFolderTest, OnlyFoldersThatMayLeadBackAreComparedWithTheFoldersAbove) {
    struct Identity {
        bool known;
        uint64_t index;
    };
    struct Case {
        const char* name;
        Identity root;  // the walk's root
        Identity a;     // the folder "a" below it
        Identity link;  // "a/link", which may lead back
        bool link_entered;
    };
    const Case cases[] = {
        {"link to the root", {true, 5}, {true, 9}, {true, 5}, false},
        {"link to its parent", {true, 5}, {true, 9}, {true, 9}, false},
        {"link to a folder that is no ancestor", {true, 5}, {true, 9}, {true, 6}, true},
        {"link whose index is zero, like its ancestors'", {true, 0}, {true, 0}, {true, 0}, true},
        {"link whose identity cannot be had", {true, 5}, {true, 9}, {false, 5}, true},
        {"ancestors whose identities cannot be had", {false, 5}, {false, 5}, {true, 5}, true},
    };
    fs::create_directories(dir_.Path() / "a" / "link");
    // Ordinary folders, all with the same identity as every folder above.
    fs::create_directories(dir_.Path() / "a" / "b" / "c");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> asked;
        FolderIdentitySource identity;
        identity.may_lead_back = [](const platform::DirSearch& parent) {
            return fs::path(parent.Name()).string() == "link";
        };
        identity.identify = [&](const platform::DirSearch&, const PathChar* folder_path,
                                platform::FolderId* id) {
            const std::string path = Narrow(folder_path);
            asked.push_back(path);
            const Identity& which = path == Root()         ? c.root
                                    : path == At("a")      ? c.a
                                    : path == At("a/link") ? c.link
                                                           : Identity{true, 5};
            *id = platform::FolderId{1, which.index};
            return which.known;
        };
        Lines log;
        {
            testsupport::LogCapture capture;
            EXPECT_TRUE(scan_seam::ScanFolderWithIdentityForTesting(dir_.Path().c_str(), identity));
            log = capture.Lines();
        }
        const std::string loop_line =
            "[ScanFolder][297]Folder already open above, not scanned again:" + At("a/link");
        EXPECT_EQ(c.link_entered ? 0u : 1u, std::count(log.begin(), log.end(), loop_line));
        EXPECT_EQ(c.link_entered ? 1u : 0u,
                  std::count(log.begin(), log.end(), Folder(At("a/link"))));
        for (const char* ordinary : {"a", "a/b", "a/b/c"}) {
            EXPECT_EQ(1u, std::count(log.begin(), log.end(), Folder(At(ordinary)))) << ordinary;
        }
        // Identities are asked only for the link and the folders above it,
        // never for the ordinary folders beside and below.
        for (const std::string& path : asked) {
            EXPECT_TRUE(path == Root() || path == At("a") || path == At("a/link")) << path;
        }
        EXPECT_EQ(1u, std::count(asked.begin(), asked.end(), At("a/link")));
    }
}

// Folders nested as deep as the platform's path limit allows: the deepest
// file whose path fits is examined; one a character longer is reported as
// too long and not examined under a cut name.
// (Windows: a file whose path is longer than MAX_PATH is walked and
// examined through its extended path; Wine, whose Linux paths carry the
// prefix's folder in front, may stop short of the limit, and the walk is
// then checked as deep as Wine makes the folders.)
TEST_F(ScanFolderTest, ReachesTheDeepestNestingThePathLimitAllows) {
    const size_t limit = ZQ_FILE_PATH_CHARS - 1;  // characters of the longest file path
    const size_t kNameLength = 12;
    // POSIX: one-character folders, made from inside, one level at a time, so
    // that a path near the limit is not resolved again for every level and
    // the file whose path is one character too long can be made at all.
    // Windows: folders of 100 characters (so the walk under emulation stays
    // short), made by their extended paths.
    const size_t width = kWindows ? 100 : 1;
    const fs::path start = fs::current_path();
    const auto extended = [](const fs::path& path) {
        return fs::path(platform::SystemPath(path.native().c_str()));
    };
    const fs::path top = dir_.Path();
    // On Windows the folders go by their extended paths, also when removed.
    struct Removed {
        fs::path path;
        ~Removed() {
            std::error_code ignored;
            if (!path.empty()) {
                fs::remove_all(path, ignored);
            }
        }
    } wine_tree{kWindows ? extended(top / std::string(width, 'd')) : fs::path()};
    fs::path folder = top;
    if (!kWindows) {
        fs::current_path(folder);
    }
    size_t levels = 0;
    while (Narrow(folder).size() + 1 + width + 1 + kNameLength + 1 <= limit) {
        const std::string name(width, 'd');
        if (kWindows) {
            std::error_code refused;
            if (!fs::create_directory(extended(folder / name), refused)) {
                break;  // the deepest the system makes
            }
        } else {
            fs::create_directory(name);
            fs::current_path(name);
        }
        folder /= name;
        ++levels;
    }
    const auto write = [&](const std::string& name) {
        try {
            testsupport::WriteFile(kWindows ? extended(folder / name) : fs::path(name),
                                   sample::BuildPe(1024));
            return true;
        } catch (const std::exception&) {
            return false;  // the system refuses such a path itself
        }
    };
    const size_t folder_length = Narrow(folder).size();
    std::string fits(limit - folder_length - 1, 'f');
    while (!write(fits) && fits.size() > kNameLength) {
        fits.pop_back();
    }
    const bool at_limit = folder_length + 1 + fits.size() == limit;
    const bool made_too_long = at_limit && write(std::string(fits.size() + 1, 'g'));
    fs::current_path(start);
    const std::string deepest = Narrow(folder / fits);
    if (kWindows) {
        ASSERT_GT(deepest.size(), 259u) << "no path longer than MAX_PATH";
    } else {
        ASSERT_EQ(limit, deepest.size());
    }

    const ScanRun run = Scan(top.c_str());
    EXPECT_TRUE(run.result);
    EXPECT_EQ("Path:" + deepest + "\tResult:Safe\n", run.console);
    // One line per level, then the files' lines: 309 and 334 for the one
    // that fits, one line for the other.
    ASSERT_EQ(levels + 2 + (made_too_long ? 1 : 0), run.log.size());
    if (made_too_long) {
        const size_t count = static_cast<size_t>(
            std::count_if(run.log.begin(), run.log.end(), [](const std::string& line) {
                return line.rfind("[ScanFolder][313]File path too long, not scanned:", 0) == 0;
            }));
        EXPECT_EQ(1u, count);
    }
    EXPECT_EQ(made_too_long ? 1u : 0u, run.stats.not_scanned);
    EXPECT_EQ(levels + 1, run.stats.folders_entered);
    EXPECT_EQ(1u, run.stats.images_examined);
    EXPECT_GT(levels, kWindows ? 2u : 1000u);
}

// The folder, in this process's path text, of a tree that the test run
// made beforehand with Unix symbolic links (top/a/up and top/a/up2 point at
// top, top/a/self at top/a), on the confined tests' drive: a Windows program
// cannot make them itself, and Wine shows each as a folder (a reparse point)
// with its target's identity.
PathString LinkTreeFromTheTestRun() {
    const char* tree = std::getenv("ZQ_LINK_TREE");
    if (tree == nullptr) {
        return PathString();
    }
    return fs::path(tree).make_preferred().native();
}

// A link back to an ancestor is entered like a folder (Windows), but a
// folder already open above is not entered again: the walk ends.
TEST_F(ScanFolderTest, LinksBackToAnAncestorEndTheWalk) {
    fs::path top = dir_.Path() / "top";
    if (kWindows) {
        const PathString tree = LinkTreeFromTheTestRun();
        if (tree.empty()) {
            GTEST_SKIP() << "ZQ_LINK_TREE (made by the test run) is not set";
        }
        top = fs::path(tree) / "top";
    } else {
        fs::create_directories(top / "a");
        fs::create_directory_symlink(top, top / "a" / "up");
        fs::create_directory_symlink(top, top / "a" / "up2");
        fs::create_directory_symlink(top / "a", top / "a" / "self");
    }
    const fs::path tool = top / "a" / "tool.exe";
    const fs::path other = top / "z.exe";
    testsupport::WriteFile(tool, sample::BuildPe(1024));
    testsupport::WriteFile(other, sample::BuildPe(1024));

    const ScanRun run = Scan(top.c_str());
    fs::remove(tool);
    fs::remove(other);
    EXPECT_TRUE(run.result);
    EXPECT_NE(std::string::npos, run.console.find("Path:" + Narrow(tool) + "\tResult:Safe\n"));
    EXPECT_NE(std::string::npos, run.console.find("Path:" + Narrow(other) + "\tResult:Safe\n"));
    EXPECT_EQ(2, std::count(run.console.begin(), run.console.end(), '\n'));

    Lines expected = {Folder(Narrow(top / "a")), File(Narrow(tool)), Result(Narrow(tool), 0),
                      File(Narrow(other)), Result(Narrow(other), 0)};
    if (kWindows) {
        // Each link shows as a folder and is refused once.
        for (const char* link : {"up", "up2", "self"}) {
            expected.push_back("[ScanFolder][297]Folder already open above, not scanned again:" +
                               Narrow(top / "a" / link));
        }
    }
    // Symbolic links are never followed on POSIX: not even a log line.
    Lines actual = run.log;
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(expected, actual);
    EXPECT_EQ(kWindows ? 3u : 0u, run.stats.not_scanned);
    EXPECT_EQ(2u, run.stats.folders_entered);
}

TEST_F(ScanFolderTest, SymbolicLinkToAFileIsNotExaminedOnPosix) {
    if (kWindows) {
        GTEST_SKIP() << "Windows examines every entry without the folder bit";
    }
    Put("real.exe", sample::BuildPe(1024));
    std::error_code error;
    fs::create_symlink(dir_.Path() / "real.exe", dir_.Path() / "link.exe", error);
    ASSERT_FALSE(error);
    const ScanRun run = Scan(dir_.Path().c_str());
    EXPECT_EQ((Lines{File(At("real.exe")), Result(At("real.exe"), 0)}), run.log);
}

// The scan counters over a small tree: each entry is counted once, in the
// class its log lines put it in; dot names and what lies below them are not
// counted at all.
TEST_F(ScanFolderTest, CountersTallyTheWalk) {
    Put("app.exe", sample::BuildPe(4096));
    Put("lib.dll", sample::BuildPe(4096, {true, false, 1}));
    Put("readme.txt", Bytes{'h', 'i'});
    Put(".hidden.exe", sample::BuildPe(4096));
    Put(".git/inner.exe", sample::BuildPe(4096));
    Put("sub/deeper/tool.exe", sample::BuildPe(2048, {false, true, 2}));
    Sized("over.bin", 104857601);  // seen, passed over for its size
    fs::create_directory(dir_.Path() / "empty");

    const ScanRun run = Scan(dir_.Path().c_str());
    struct Case {
        const char* counter;
        uint64_t actual;
        uint64_t expected;
    };
    const Case cases[] = {
        {"folders_entered", run.stats.folders_entered, 4},  // root, sub, sub/deeper, empty
        {"folders_unlisted", run.stats.folders_unlisted, 0},
        {"files_seen", run.stats.files_seen, 5},
        {"images_examined", run.stats.images_examined, 2},
        {"safe", run.stats.safe, 2},
        {"fixed", run.stats.fixed, 0},
        {"error", run.stats.error, 0},
        {"unreadable", run.stats.unreadable, 0},
        {"in_use", run.stats.in_use, 0},
        {"not_scanned", run.stats.not_scanned, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, c.actual) << c.counter;
    }

    // A root that cannot be listed: nothing entered, one folder unlisted.
    const ScanRun missing = Scan(dir_.Join("missing").c_str());
    EXPECT_EQ(0u, missing.stats.folders_entered);
    EXPECT_EQ(1u, missing.stats.folders_unlisted);
}

// A file held open without sharing cannot be opened for the image test: it
// is in use (line 277) and "Not PE-Type", nothing shows on the console, and
// it is counted In use, not Unreadable: no running program is held so.
TEST_F(ScanFolderTest, FileLockedExclusivelyIsCountedInUse) {
    if (!kWindows) {
        GTEST_SKIP() << "POSIX has no exclusive opens; see the permission test";
    }
    Put("locked.exe", sample::BuildPe(4096));
    platform::File holder;
    ASSERT_TRUE(testsupport::OpenHeld(&holder, dir_.Join("locked.exe").c_str(),
                                      testsupport::Hold::Exclusive));
    const ScanRun run = Scan(dir_.Path().c_str());
    holder.Close();
    ASSERT_EQ(3u, run.log.size());
    EXPECT_EQ("[ScanFolder][277]In use by the system, not examined:" + At("locked.exe"),
              run.log[1]);  // ERROR_SHARING_VIOLATION
    EXPECT_EQ("", run.console);
    EXPECT_EQ(1u, run.stats.files_seen);
    EXPECT_EQ(1u, run.stats.in_use);
    EXPECT_EQ(0u, run.stats.unreadable);
    EXPECT_EQ(0u, run.stats.images_examined);
}

// What a Windows listing says of an entry decides what the walk does with it,
// through a made-up listing on every backend: files and folders whose data
// is not on the disk are never opened (299), links are not entered (294),
// links to files not opened (294: their targets are examined where they lie,
// once), a folder whose files are partly online only is walked, a
// mount point is entered only for a volume without a drive letter, a file
// that is a reparse point of another kind is examined as any file, and a
// root's "System Volume Information" whose listing is denied is one line
// (276) where the system has such folders.
TEST_F(ScanFolderTest, WhatTheListingSaysDecidesWhatIsOpenedAndEntered) {
    using platform::listing_seam::Listed;
    using platform::listing_seam::Volume;
    constexpr uint32_t kDir = platform::kAttributeDirectory;
    constexpr uint32_t kReparse = platform::kAttributeReparsePoint;
    constexpr uint32_t kArchive = 0x20;
    const std::map<std::string, Listed> listed = {
        {"online_only.exe",
         {kArchive | kReparse | platform::kAttributeRecallOnDataAccess, 0x9000001A}},
        {"archived.exe", {kArchive | platform::kAttributeOffline, 0}},
        {"deduplicated.exe", {kArchive | kReparse, 0x80000013}},
        {"file_link.exe", {kArchive | kReparse, platform::kTagSymlink}},
        {"cloud_folder", {kDir | kReparse | platform::kAttributeRecallOnOpen, 0x9000101A}},
        {"partly_online", {kDir | kReparse | platform::kAttributeRecallOnDataAccess, 0x9000101A}},
        {"dir_link", {kDir | kReparse, platform::kTagSymlink}},
        {"junction", {kDir | kReparse, platform::kTagMountPoint}},
        {"lettered_volume", {kDir | kReparse, platform::kTagMountPoint}},
        {"letterless_volume", {kDir | kReparse, platform::kTagMountPoint}},
    };
    for (const char* name :
         {"online_only.exe", "archived.exe", "deduplicated.exe", "file_link.exe", "plain.exe"}) {
        Put(name, sample::BuildPe(4096));
    }
    for (const char* folder : {"cloud_folder", "partly_online", "dir_link", "junction",
                               "lettered_volume", "letterless_volume", "plain"}) {
        Put(std::string(folder) + "/inside.exe", sample::BuildPe(4096));
    }
    // Folders the system keeps to itself: below the root, below a volume's
    // root (the letterless mount point), and below a plain folder.
    for (const char* svi :
         {"System Volume Information", "letterless_volume/System Volume Information",
          "plain/System Volume Information"}) {
        fs::create_directories(dir_.Path() / fs::path(svi).make_preferred());
    }
    const OsError denied = kWindows ? platform::kErrorKeptBySystem : EACCES;
    platform::listing_seam::Fakes fakes;
    std::vector<std::string> volumes_asked;
    fakes.entry = [&](const PathChar* name, Listed* out) {
        const auto found = listed.find(Narrow(name));
        if (found == listed.end()) {
            return false;
        }
        *out = found->second;
        return true;
    };
    fakes.volume = [&](const PathChar* folder, Volume* volume) {
        volumes_asked.push_back(Narrow(folder));
        volume->volume_known = Narrow(folder) != At("junction");
        volume->paths = Narrow(folder) == At("lettered_volume")
                            ? PathString(ZQ_T("E:\\\0"), 4)
                            : PathString(ZQ_T("C:\\mnt\\data\\\0"), 14);
        return true;
    };
    fakes.listing_fails = [&](const PathChar* folder, OsError* code) {
        if (fs::path(folder).filename() != "System Volume Information") {
            return false;
        }
        *code = denied;
        return true;
    };
    ScanRun run;
    {
        platform::listing_seam::Scoped fake(fakes);
        run = Scan(dir_.Path().c_str());
    }
    EXPECT_TRUE(run.result);

    const std::string not_local = "[ScanFolder][299]Not local, not scanned:";
    const std::string link = "[ScanFolder][294]Link, not entered:";
    const std::string kept = "[ScanFolder][276]Folder kept by the system, not listed:";
    const auto denied_lines = [&](const std::string& folder) -> Lines {
        if (kWindows && folder != At("plain/System Volume Information")) {
            return {kept + folder};
        }
        return {Folder(folder),
                "[ScanFolder][275]Call FindFirstFile failed: " + std::to_string(denied)};
    };
    std::vector<Lines> blocks = {
        {not_local + At("online_only.exe")},
        {not_local + At("archived.exe")},
        {File(At("deduplicated.exe")), Result(At("deduplicated.exe"), 0)},
        {File(At("plain.exe")), Result(At("plain.exe"), 0)},
        {link + At("file_link.exe")},
        {not_local + At("cloud_folder")},
        {Folder(At("partly_online"))},
        {File(At("partly_online/inside.exe")), Result(At("partly_online/inside.exe"), 0)},
        {link + At("dir_link")},
        {link + At("junction")},
        {link + At("lettered_volume")},
        {Folder(At("plain"))},
        {File(At("plain/inside.exe")), Result(At("plain/inside.exe"), 0)},
        {Folder(At("letterless_volume"))},
        {File(At("letterless_volume/inside.exe")), Result(At("letterless_volume/inside.exe"), 0)},
        denied_lines(At("System Volume Information")),
        denied_lines(At("letterless_volume/System Volume Information")),
        denied_lines(At("plain/System Volume Information")),
    };
    ASSERT_NO_FATAL_FAILURE(ExpectLogOfBlocks(run.log, blocks));
    // Only the mount points' volumes are asked about.
    std::sort(volumes_asked.begin(), volumes_asked.end());
    EXPECT_EQ(
        (std::vector<std::string>{At("junction"), At("lettered_volume"), At("letterless_volume")}),
        volumes_asked);

    const uint64_t kept_folders = kWindows ? 2 : 0;
    // the root, plain, letterless_volume, partly_online
    EXPECT_EQ(4u, run.stats.folders_entered);
    EXPECT_EQ(3u - kept_folders, run.stats.folders_unlisted);
    // 2 not-local files, a file link, 4 folders
    EXPECT_EQ(2u + 1u + 4u + kept_folders, run.stats.not_scanned);
    EXPECT_EQ(7u, run.stats.files_seen);  // not-local files are files met; a link is none
    EXPECT_EQ(5u, run.stats.images_examined);
    EXPECT_EQ(0u, run.stats.unreadable);
}

// A root whose listing finds nothing at all (an empty FAT or exFAT root has
// no "."; FindFirstFileW fails with ERROR_FILE_NOT_FOUND) is an empty
// folder on Windows, not an unlisted one; on POSIX the same code is a
// missing folder.
TEST_F(ScanFolderTest, AListingThatFindsNothingIsAnEmptyFolderOnWindows) {
    platform::listing_seam::Fakes fakes;
    fakes.listing_fails = [&](const PathChar* folder, OsError* code) {
        *code = 2;  // ERROR_FILE_NOT_FOUND, ENOENT
        return Narrow(folder) == Root();
    };
    ScanRun run;
    {
        platform::listing_seam::Scoped fake(fakes);
        run = Scan(dir_.Path().c_str());
    }
    if (kWindows) {
        EXPECT_TRUE(run.result);
        EXPECT_TRUE(run.log.empty());
        EXPECT_EQ(1u, run.stats.folders_entered);
        EXPECT_EQ(0u, run.stats.folders_unlisted);
    } else {
        EXPECT_FALSE(run.result);
        EXPECT_EQ(Lines{"[ScanFolder][275]Call FindFirstFile failed: 2"}, run.log);
        EXPECT_EQ(1u, run.stats.folders_unlisted);
    }
}

}  // namespace
