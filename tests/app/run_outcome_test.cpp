// What the operator is told: the exit status of a run that only checks, and
// the lines on standard error.
#include "app/run_outcome.h"

#include <gtest/gtest.h>

#include "sample_run_stats.h"

namespace {

TEST(RunOutcomeTest, TheExitStatusSaysWhatWasFound) {
    struct Case {
        uint64_t infected, error, unreadable, unlisted;
        bool nothing_scanned;
        int check_status;
        int repair_status;  // a repair run's Infected are those left for want of a backup
    };
    const Case cases[] = {
        {0, 0, 0, 0, false, kExitDone, kExitDone},
        {1, 0, 0, 0, false, kExitInfected, kExitNotRepaired},  // exactly one
        {3, 0, 0, 0, false, kExitInfected, kExitNotRepaired},
        {0, 1, 0, 0, false, kExitNotExamined, kExitDone},
        {0, 0, 1, 0, false, kExitNotExamined, kExitDone},
        {0, 0, 0, 1, false, kExitNotExamined, kExitDone},  // an unlisted folder hides what it holds
        {3, 1, 0, 0, false, kExitNotExamined, kExitNotRepaired},  // 2 wins over 1
        {3, 0, 2, 0, false, kExitNotExamined, kExitNotRepaired},
        {1, 0, 0, 1, false, kExitNotExamined, kExitNotRepaired},
        {0, 0, 0, 0, true, kExitNotExamined, kExitDone},  // nothing scanned is never clean
        {3, 0, 0, 0, true, kExitNotExamined, kExitNotRepaired},
    };
    for (const Case& c : cases) {
        ScanStats stats;
        stats.images_examined = 10;
        stats.safe = 10 - c.infected - c.error;
        stats.infected = c.infected;
        stats.error = c.error;
        stats.unreadable = c.unreadable;
        stats.not_scanned = 4;  // passed over by rule: no concern
        stats.folders_unlisted = c.unlisted;
        EXPECT_EQ(c.check_status, CheckExitStatus(stats, c.nothing_scanned))
            << c.infected << " infected, " << c.error << " errors, " << c.unreadable
            << " unreadable, " << c.unlisted << " unlisted, nothing scanned " << c.nothing_scanned;
        EXPECT_EQ(c.repair_status, RepairExitStatus(stats)) << c.infected << " infected";
    }
    EXPECT_EQ(1, kExitInfected);
    EXPECT_EQ(2, kExitNotExamined);
    EXPECT_EQ(2, kExitBadUsage);
    EXPECT_EQ(2, kExitNotRepaired);
}

TEST(RunOutcomeTest, TheClosingLineCountsWhatTheOperatorMustKnow) {
    // Errors count the unreadable files too, not scanned the unlisted
    // folders.
    ScanStats stats = apptest::SampleRunStats(false);
    const LogOutcome unix_log{"/x/ZQCindervane.log", true, true};
    const LogOutcome windows_log{"C:\\Tools\\ZQCindervane.log", true, true};
    EXPECT_EQ(
        "ZQCindervane: 25 examined, 3 repaired, 9 errors, 13 not scanned; "
        "log: /x/ZQCindervane.log",
        ClosingLine(stats, false, unix_log));
    EXPECT_EQ(
        "ZQCindervane: 25 examined, 3 infected (nothing repaired), 9 errors, "
        "13 not scanned; log: C:\\Tools\\ZQCindervane.log",
        ClosingLine(apptest::SampleRunStats(true), true, windows_log));
    EXPECT_EQ("ZQCindervane: 0 examined, 0 repaired, 0 errors, 0 not scanned; no log",
              ClosingLine(ScanStats(), false, LogOutcome()));
}

TEST(RunOutcomeTest, TheClosingLineNeverOverstates) {
    const std::string reason = "the quarantine library could not be loaded";
    struct Case {
        uint64_t fixed_without_backup;
        uint64_t left_infected;
        LogOutcome log;
        const char* line;
    };
    const Case cases[] = {
        // Every repair without a backup.
        {3,
         0,
         {"/x/ZQCindervane.log", true, true},
         "ZQCindervane: 25 examined, 3 repaired (no backup kept: the quarantine library could "
         "not be loaded), 9 errors, 13 not scanned; log: /x/ZQCindervane.log"},
        // Some of them.
        {1,
         0,
         {"/x/ZQCindervane.log", true, true},
         "ZQCindervane: 25 examined, 3 repaired (1 with no backup kept: the quarantine library "
         "could not be loaded), 9 errors, 13 not scanned; log: /x/ZQCindervane.log"},
        // Left as they were for want of a backup.
        {0,
         2,
         {"/x/ZQCindervane.log", true, true},
         "ZQCindervane: 25 examined, 3 repaired, 2 left infected (no backup kept: the quarantine "
         "library could not be loaded), 9 errors, 13 not scanned; log: /x/ZQCindervane.log"},
        // A log that never took a line is not named; one that lost lines says so.
        {0,
         0,
         {"/ro/ZQCindervane.log", false, false},
         "ZQCindervane: 25 examined, 3 repaired, 9 errors, 13 not scanned; no log"},
        {0,
         0,
         {"/full/ZQCindervane.log", true, false},
         "ZQCindervane: 25 examined, 3 repaired, 9 errors, 13 not scanned; "
         "log incomplete: /full/ZQCindervane.log"},
    };
    for (const Case& c : cases) {
        ScanStats stats = apptest::SampleRunStats(false);
        stats.fixed_without_backup = c.fixed_without_backup;
        stats.infected = c.left_infected;
        EXPECT_EQ(c.line, ClosingLine(stats, false, c.log, reason));
    }
}

TEST(RunOutcomeTest, APathThatIsNoFolderIsNamed) {
    EXPECT_EQ("ZQCindervane: cannot scan /etc/passwd: it is not a folder",
              NamedPathLine("/etc/passwd", true, 0));
    EXPECT_EQ("ZQCindervane: cannot scan /mnt/nothing: it could not be found (error 2)",
              NamedPathLine("/mnt/nothing", false, 2));
}

TEST(RunOutcomeTest, NothingScannedLinesSayWhatCouldNotBeRead) {
    EXPECT_EQ(
        "ZQCindervane: nothing scanned: /sys could not be read (error 2), so no disk "
        "could be told fixed",
        NoRootsLine("/sys could not be read (error 2), so no disk could be told fixed"));
    EXPECT_EQ("ZQCindervane: / could not be listed, nothing on it was scanned (the log says why)",
              UnlistedRootLine(""));
    EXPECT_EQ("ZQCindervane: D: could not be listed, nothing on it was scanned (the log says why)",
              UnlistedRootLine("D:"));
}

}  // namespace
