// The read-ahead changes how the walk's work is done, never what it does: a
// tree with every kind of entry (infected images and hard links to them,
// clean images, the smallest of 512 bytes among them, DLLs, small and empty
// files, files that are no image, unreadable files and folders, hidden
// names, a chain deeper than the walk keeps open, more files than the
// look-ahead holds) scanned with the read-ahead and without it gives the
// same console text, the same log messages in the same order, the same
// counts and the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "infect/infection_signatures.h"
#include "platform/fault_seam.h"
#include "platform/file_view.h"
#include "platform/thread.h"
#include "support/suite_fixture.h"
#include "sample_builder/sample_builder.h"
#include "scan/scan_folder.h"
#include "scan/scan_folder_seam.h"
#include "scan/scan_progress.h"
#include "scan/scan_stats.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"
#include "unreadable_file.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using Lines = std::vector<std::string>;

const char* const kTestEntries[] = {sample::kTestSignature};
const SignatureList kTestList = {kTestEntries, 1};

// What one kind of file holds, for the file numbered `seed`.
Bytes Content(int kind, uint32_t seed) {
    switch (kind) {
        case 0:
            return sample::BuildPe(8192, {false, false, seed});
        case 1:
            return sample::BuildPe(4096, {true, false, seed});  // a DLL
        case 2:
            return sample::BuildPe(300, {false, false, seed});  // under 512 bytes
        case 3:
            return sample::BuildPe(1000, {false, true, seed});  // an image under 2100
        case 4:
            return sample::FillerBytes(3000, seed);  // no image
        case 5:
            return sample::BuildInfected(sample::BuildPe(6000, {false, false, seed})).infected;
        case 6: {
            sample::InfectOptions corrupt;
            corrupt.head_offset_field = 1;  // a trailer no repair follows
            return sample::BuildInfected(sample::BuildPe(5000, {false, false, seed}), corrupt)
                .infected;
        }
        case 7:
            return sample::BuildPe(512, {false, false, seed});  // the smallest image
        default:
            return Bytes();  // empty
    }
}
constexpr int kKinds = 9;

// Builds the tree below `root`; `unreadable` keeps its files and folders
// unreadable while it lives. True when a folder could be made unreadable
// too (not on Windows, where a file is held instead).
bool BuildTree(const fs::path& root, scantest::UnreadableFiles* unreadable) {
    fs::create_directories(root);
    // Hard links: the repair through the first one the walk meets changes
    // what the others hold.
    fs::create_directories(root / "links");
    testsupport::WriteFile(root / "links" / "a.exe", Content(5, 1));
    for (const char* link : {"b.exe", "c.exe"}) {
        fs::create_hard_link(root / "links" / "a.exe", root / "links" / link);
    }
    // More files in one folder than the look-ahead holds.
    fs::create_directories(root / "mixed");
    for (uint32_t i = 0; i < 600; ++i) {
        testsupport::WriteFile(root / "mixed" / ("f" + std::to_string(i) + ".exe"),
                               Content(static_cast<int>(i % kKinds), i));
    }
    testsupport::WriteFile(root / "mixed" / ".hidden.exe", Content(5, 7));
    // Many small folders, so the look-ahead reaches across folders.
    for (uint32_t i = 0; i < 60; ++i) {
        const fs::path folder = root / "small" / ("s" + std::to_string(i));
        fs::create_directories(folder);
        testsupport::WriteFile(folder / "x.exe", Content(static_cast<int>(i % kKinds), 1000 + i));
        testsupport::WriteFile(folder / "y.dat", Content(static_cast<int>((i + 3) % kKinds), i));
    }
    // A chain deeper than the levels the walk keeps open.
    fs::path deep = root / "deep";
    for (uint32_t level = 0; level < 70; ++level) {
        deep /= "d";
        fs::create_directories(deep);
        testsupport::WriteFile(deep / "p.exe", Content(level % 10 == 0 ? 5 : 0, 2000 + level));
    }
    // Unreadable entries.
    fs::create_directories(root / "locked" / "shut");
    testsupport::WriteFile(root / "locked" / "held.exe", Content(0, 3000));
    testsupport::WriteFile(root / "locked" / "shut" / "inside.exe", Content(5, 3001));
    testsupport::WriteFile(root / "locked" / "open.exe", Content(5, 3002));
    unreadable->Make(root / "locked" / "held.exe");
    return unreadable->Make(root / "locked" / "shut");
}

struct Outcome {
    std::string console;
    Lines lines;
    std::string counts;
    ScanStats stats;
    std::map<std::string, Bytes> files;
    bool folder_shut = false;
    bool fired = false;  // the rule armed for the walk was reached
};

enum class Way { Alone, Ahead, AheadFirst };

// The longest a walk of these trees may take: far beyond what any of them
// needs (under Wine too), far below the test's own time-out, so that a walk
// that waits for ever (readers paused that never report back) fails in
// seconds, with its name, instead of hanging the run.
constexpr auto kWalkBound = std::chrono::seconds(testsupport::kWindows ? 120 : 20);

// Ends the process, failing, when the scope it guards outlives kWalkBound.
class Watchdog {
  public:
    Watchdog() : thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            over_ = true;
        }
        ended_.notify_all();
        thread_.join();
    }

  private:
    void Watch() {
        std::unique_lock<std::mutex> hold(lock_);
        if (!ended_.wait_for(hold, kWalkBound, [this] { return over_; })) {
            std::fprintf(stderr, "the walk has not ended after %lld s: it waits for ever\n",
                         static_cast<long long>(kWalkBound.count()));
            std::fflush(stderr);
            std::abort();
        }
    }
    std::mutex lock_;
    std::condition_variable ended_;
    bool over_ = false;
    std::thread thread_;
};

// Walks `root` the given way, with `rule` (if any) armed once the log has
// started: what the walk printed, logged and counted.
Outcome Walk(const fs::path& root, Way way, const platform::fault::Rule* rule = nullptr) {
    Outcome outcome;
    testsupport::LogCapture log;
    ResetScanStats();
    ::testing::internal::CaptureStdout();
    {
        std::optional<platform::fault::Scoped> armed;
        if (rule != nullptr) {
            armed.emplace(*rule);
        }
        const PathChar* path = root.native().c_str();
        Watchdog watchdog;
        EXPECT_TRUE(way == Way::Alone
                        ? scan_seam::ScanFolderWithoutReadAheadForTesting(path, kTestList)
                    : way == Way::Ahead
                        ? ScanFolder(path, ScanOptions{&kTestList})
                        : scan_seam::ScanFolderReadingAheadFirstForTesting(path, kTestList));
        outcome.fired = rule != nullptr && platform::fault::Fired();
    }
    outcome.console = ::testing::internal::GetCapturedStdout();
    outcome.lines = log.Lines();
    outcome.stats = CurrentScanStats();
    outcome.counts = ScanProgressCounts(outcome.stats);
    return outcome;
}

// The files below `root` after a walk, by path.
std::map<std::string, Bytes> FilesBelow(const fs::path& root) {
    std::map<std::string, Bytes> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[entry.path().string()] = testsupport::ReadFile(entry.path());
        }
    }
    return files;
}

Outcome Scan(const fs::path& root, Way way, const platform::fault::Rule* rule = nullptr) {
    fs::remove_all(root);
    Outcome outcome;
    {
        scantest::UnreadableFiles unreadable;
        const bool folder_shut = BuildTree(root, &unreadable);
        outcome = Walk(root, way, rule);
        outcome.folder_shut = folder_shut;
    }
    outcome.files = FilesBelow(root);
    return outcome;
}

// The walk with the read-ahead said and did what the walk without it did.
void ExpectSameOutcome(const Outcome& alone, const Outcome& ahead) {
    EXPECT_EQ(alone.console, ahead.console);
    EXPECT_EQ(alone.lines.size(), ahead.lines.size());
    const auto differ = std::mismatch(alone.lines.begin(), alone.lines.end(), ahead.lines.begin(),
                                      ahead.lines.end());
    if (differ.first != alone.lines.end() || differ.second != ahead.lines.end()) {
        ADD_FAILURE() << "the logs part at line " << (differ.first - alone.lines.begin()) << ": "
                      << (differ.first != alone.lines.end() ? *differ.first : "(end)") << " | "
                      << (differ.second != ahead.lines.end() ? *differ.second : "(end)");
    }
    EXPECT_EQ(alone.counts, ahead.counts);
    EXPECT_EQ(alone.stats.folders_entered, ahead.stats.folders_entered);
    EXPECT_EQ(alone.stats.folders_unlisted, ahead.stats.folders_unlisted);
    EXPECT_EQ(alone.stats.files_seen, ahead.stats.files_seen);
    EXPECT_EQ(alone.stats.fixed, ahead.stats.fixed);
    EXPECT_EQ(alone.stats.error, ahead.stats.error);
    EXPECT_EQ(alone.stats.unreadable, ahead.stats.unreadable);
    EXPECT_EQ(alone.stats.in_use, ahead.stats.in_use);
    EXPECT_EQ(alone.stats.not_scanned, ahead.stats.not_scanned);
    EXPECT_TRUE(alone.files == ahead.files) << "the files differ after the two scans";
}

size_t Count(const Lines& lines, const std::string& part) {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.find(part) != std::string::npos;
    }));
}

TEST(ReadAheadOrderTest, TheWalkSaysAndDoesTheSameWithAndWithoutTheReadAhead) {
    quarantinetest::SuiteRegistry registry;  // the suite's key absent
    ASSERT_TRUE(registry.Usable());
    testsupport::TempDir dir;
    const fs::path root = dir.Path() / "tree";

    // The quarantine library's wrapper lives for the whole process and
    // logs its set-up once: a first scan takes that line.
    Scan(root, Way::Alone);
    const Outcome alone = Scan(root, Way::Alone);

    // The tree holds what it is meant to: one link repaired and the others
    // then seen repaired, errors, unreadable files and folders.
    std::vector<std::string> link_results;
    for (const char* link : {"a.exe", "b.exe", "c.exe"}) {
        const std::string path = (root / "links" / link).string();
        for (const char* result : {"0", "2", "-1"}) {
            if (Count(alone.lines, "[ScanFolder][334]Path:" + path + ", Result:" + result) == 1) {
                link_results.push_back(result);
            }
        }
    }
    std::sort(link_results.begin(), link_results.end());
    EXPECT_EQ((std::vector<std::string>{"0", "0", "2"}), link_results);
    // The smallest image there is (512 bytes) is examined.
    const std::string smallest = (root / "mixed" / "f7.exe").string();
    EXPECT_EQ(1u, Count(alone.lines, "[ScanFolder][334]Path:" + smallest + ", Result:0"));
    EXPECT_GT(alone.stats.fixed, 10u);
    EXPECT_GT(alone.stats.error, 10u);
    // The held file: unreadable on POSIX (no permission), in use on Windows
    // (held with no sharing).
    EXPECT_GE(alone.stats.unreadable + alone.stats.in_use, 1u);
    EXPECT_EQ(alone.folder_shut ? 1u : 0u, alone.stats.folders_unlisted);

    // The read-ahead as the machine runs it, and running as far ahead as it
    // can, so that results read before a repair are met.
    for (Way way : {Way::Ahead, Way::AheadFirst}) {
        SCOPED_TRACE(way == Way::Ahead ? "read-ahead" : "read-ahead, readers first");
        ExpectSameOutcome(alone, Scan(root, way));
    }

    // The readers' batches refused by the system from the start (no
    // io_uring, a seccomp profile), or failing part way through the walk:
    // each reader then reads each file on its own (Windows always does).
    platform::fault::Rule refused;
    refused.op = platform::fault::Op::Ring;
    refused.and_after = true;
    refused.code = EPERM;
    platform::fault::Rule later = refused;
    later.nth = 24;  // after every reader's start, some batches in
    later.and_after = false;
    for (const platform::fault::Rule* rule : {&refused, &later}) {
        SCOPED_TRACE(rule == &refused ? "no ring" : "a ring that fails part way");
        const Outcome outcome = Scan(root, Way::Ahead, rule);
        EXPECT_EQ(!testsupport::kWindows, outcome.fired);
        ExpectSameOutcome(alone, outcome);
    }
}

// Hard links of an infected program met while the readers hold other links
// of the same file: a reader's handle or view of a twin must never be in the
// way of the backup or the repair (on Windows a mapped view makes the cut
// fail, and a quarantine library may open the file exclusively). The readers
// are slowed while they hold their views, as on a slow disk; an earlier
// repair makes the walk's own thread examine every file again, at no delay,
// so that it reaches each infected program while the readers are still in
// the middle of its twins. The outcome must be byte for byte that of the
// walk without readers.
TEST(ReadAheadOrderTest, RepairsOfHardLinksWhileReadersHoldTwinsGiveTheSameAsOneThread) {
    quarantinetest::SuiteRegistry registry;  // the suite's key absent
    ASSERT_TRUE(registry.Usable());
    testsupport::TempDir dir;
    const fs::path root = dir.Path() / "twins";
    auto build = [&root] {
        fs::remove_all(root);
        // First an infected program of its own among clean images, then
        // groups that each begin with an infected program followed by links
        // of it.
        fs::create_directories(root / "a");
        testsupport::WriteFile(root / "a" / "a00.exe", Content(5, 1));
        for (uint32_t i = 0; i < 20; ++i) {
            testsupport::WriteFile(root / "a" / ("c" + std::to_string(10 + i) + ".exe"),
                                   Content(0, i));
        }
        for (uint32_t g = 0; g < 4; ++g) {
            const fs::path group = root / ("g" + std::to_string(g));
            fs::create_directories(group);
            testsupport::WriteFile(group / "l00.exe", Content(5, 10 + g));
            for (int i = 1; i < 12; ++i) {
                fs::create_hard_link(group / "l00.exe",
                                     group / ("l" + std::to_string(100 + i) + ".exe"));
            }
        }
    };
    // Every read of a view on a reader waits, as on a slow disk, while the
    // reader holds the view.
    const std::thread::id walk_thread = std::this_thread::get_id();
    platform::fault::Rule slow;
    slow.op = platform::fault::Op::View;
    slow.and_after = true;
    slow.effect = platform::fault::Effect::None;
    slow.before = [walk_thread] {
        if (std::this_thread::get_id() != walk_thread) {
            platform::SleepMilliseconds(15);
        }
    };
    auto scan = [&](Way way) {
        build();
        Outcome outcome = Walk(root, way, way == Way::Alone ? nullptr : &slow);
        outcome.files = FilesBelow(root);
        return outcome;
    };
    scan(Way::Alone);  // the quarantine wrapper's one set-up line
    const Outcome alone = scan(Way::Alone);
    EXPECT_EQ(alone.stats.fixed, 5u);
    EXPECT_EQ(alone.stats.error, 0u);
    ExpectSameOutcome(alone, scan(Way::Ahead));
}

constexpr uint32_t kRenamedFiles = 12;

// One folder `root` of infected programs, listed whole when the walk enters
// it, whichever way it walks, and outside the walk (`spare`) another infected
// program for each. At the first cut, whichever file the walk met first,
// every file not repaired yet is replaced by its twin; the cut itself fails
// with `cut_code` (0: it succeeds). The walk's outcome and the files after it.
Outcome WalkWithFilesRenamedIn(const fs::path& root, const fs::path& spare, Way way,
                               OsError cut_code) {
    const auto name = [](uint32_t i) { return "f" + std::to_string(i) + ".exe"; };
    fs::remove_all(root);
    fs::remove_all(spare);
    fs::create_directories(root);
    fs::create_directories(spare);
    for (uint32_t i = 0; i < kRenamedFiles; ++i) {
        testsupport::WriteFile(root / name(i), Content(5, 10 + i));
        testsupport::WriteFile(spare / name(i), Content(5, 100 + i));
    }
    platform::fault::Rule rename;
    rename.op = platform::fault::Op::Truncate;
    if (cut_code == 0) {
        rename.effect = platform::fault::Effect::None;
    } else {
        rename.code = cut_code;
    }
    rename.before = [&] {
        for (uint32_t i = 0; i < kRenamedFiles; ++i) {
            if (testsupport::ReadFile(root / name(i)) == Content(5, 10 + i)) {
                fs::rename(spare / name(i), root / name(i));
            }
        }
    };
    Outcome outcome = Walk(root, way, &rename);
    EXPECT_TRUE(outcome.fired);
    outcome.files = FilesBelow(root);
    return outcome;
}

// Files renamed over the files listed after an infected one while it is
// repaired (another process at work): a walk that does one thing at a time
// lists those files only then, finds the files renamed in and repairs them.
// The read-ahead, which listed and may have read them before, lists them
// again after the repair, so it says and does the same.
TEST(ReadAheadOrderTest, FilesRenamedInDuringARepairGiveTheSameAsOneThread) {
    quarantinetest::SuiteRegistry registry;  // the suite's key absent
    ASSERT_TRUE(registry.Usable());
    testsupport::TempDir dir;
    auto scan = [&](Way way) {
        return WalkWithFilesRenamedIn(dir.Path() / "renamed", dir.Path() / "spare", way, 0);
    };
    scan(Way::Alone);  // the quarantine wrapper's one set-up line
    const Outcome alone = scan(Way::Alone);
    // The first file and every file renamed in are repaired.
    EXPECT_EQ(kRenamedFiles, alone.stats.fixed);
    EXPECT_EQ(0u, alone.stats.error);
    for (Way way : {Way::Ahead, Way::AheadFirst}) {
        SCOPED_TRACE(way == Way::Ahead ? "read-ahead" : "read-ahead, readers first");
        ExpectSameOutcome(alone, scan(way));
    }
}

// The same files renamed in, but the first repair fails at the cut (after it
// may have written): the file is an Error, and the files listed before it
// are still listed again, so those renamed in are found and repaired. A
// read-ahead that took only a successful repair as a change would repair
// nothing more: each file renamed in is no longer the file it listed.
TEST(ReadAheadOrderTest, FilesRenamedInDuringARepairThatFailedGiveTheSameAsOneThread) {
    quarantinetest::SuiteRegistry registry;  // the suite's key absent
    ASSERT_TRUE(registry.Usable());
    testsupport::TempDir dir;
    auto scan = [&](Way way) {
        return WalkWithFilesRenamedIn(dir.Path() / "renamed", dir.Path() / "spare", way, 5);
    };
    scan(Way::Alone);  // the quarantine wrapper's one set-up line
    const Outcome alone = scan(Way::Alone);
    EXPECT_EQ(kRenamedFiles - 1, alone.stats.fixed);
    EXPECT_EQ(1u, alone.stats.error);
    for (Way way : {Way::Ahead, Way::AheadFirst}) {
        SCOPED_TRACE(way == Way::Ahead ? "read-ahead" : "read-ahead, readers first");
        const Outcome ahead = scan(way);
        EXPECT_EQ(kRenamedFiles - 1, ahead.stats.fixed);
        EXPECT_EQ(1u, ahead.stats.error);
        ExpectSameOutcome(alone, ahead);
    }
}

// A reader's mapping or view refused for want of memory or address space
// (which the other readers' views may hold) is tried once more, alone,
// before it is reported; any other failure (a disk's in-page error, a failed
// read) is reported as it came, never waited through a second time.
TEST(ReadAheadOrderTest, AViewRefusedForWantOfRoomIsTriedAgainAndNoOtherFailureIs) {
    testsupport::TempDir dir;
    const fs::path root = dir.Path() / "one";
    fs::create_directories(root);
    testsupport::WriteFile(root / "a.exe", sample::BuildPe(8192));
    const std::string path = (root / "a.exe").string();
    struct Case {
        platform::fault::Op op;
        OsError code;
        bool retried;
        const char* line;  // the failure line's start, when not retried
    };
    const Case cases[] = {
        {platform::fault::Op::Map, platform::kErrorNoMemory, true, nullptr},
        {platform::fault::Op::View, platform::kErrorNoMemory, true, nullptr},
        {platform::fault::Op::Map, 5, false, "[CommFunc::IsFilePE][79]Call CreateFileMapping"},
        {platform::fault::Op::View, 5, false, "[CommFunc::IsFilePE][86]Call MapViewOfFile"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("op " + std::to_string(static_cast<int>(c.op)) + ", code " +
                     std::to_string(c.code));
        platform::fault::Rule refused;
        refused.op = c.op;
        refused.code = c.code;
        const Outcome outcome = Walk(root, Way::Ahead, &refused);
        EXPECT_TRUE(outcome.fired);
        EXPECT_EQ(1u, Count(outcome.lines, "[ScanFolder][309]Start Scanning File:" + path));
        if (c.retried) {
            EXPECT_EQ(0u, Count(outcome.lines, "[CommFunc::IsFilePE]"));
            EXPECT_EQ(1u, Count(outcome.lines, "[ScanFolder][334]Path:" + path + ", Result:0"));
            EXPECT_EQ(0u, outcome.stats.unreadable);
        } else {
            EXPECT_EQ(1u, Count(outcome.lines, std::string(c.line) + " failed: 5"));
            EXPECT_EQ(0u, Count(outcome.lines, "[ScanFolder][334]"));
            EXPECT_EQ(1u, outcome.stats.unreadable);
        }
    }
}

}  // namespace
