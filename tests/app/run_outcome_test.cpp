// What the operator is told: the exit status of a run that only checks, and
// the lines on standard error.
#include "app/run_outcome.h"

#include <gtest/gtest.h>

#include "sample_run_stats.h"

namespace {

TEST(RunOutcomeTest, TheCheckExitStatusSaysWhatWasFound) {
    struct Case {
        uint64_t infected, error, unreadable;
        bool nothing_scanned;
        int status;
    };
    const Case cases[] = {
        {0, 0, 0, false, kExitDone},
        {3, 0, 0, false, kExitInfected},
        {0, 1, 0, false, kExitNotExamined},
        {0, 0, 1, false, kExitNotExamined},
        {3, 1, 0, false, kExitNotExamined},  // 2 wins over 1
        {3, 0, 2, false, kExitNotExamined},
        {0, 0, 0, true, kExitNotExamined},  // nothing scanned is never clean
        {3, 0, 0, true, kExitNotExamined},
    };
    for (const Case& c : cases) {
        ScanStats stats;
        stats.images_examined = 10;
        stats.safe = 10 - c.infected - c.error;
        stats.infected = c.infected;
        stats.error = c.error;
        stats.unreadable = c.unreadable;
        stats.not_scanned = 4;  // passed over by rule: no concern
        stats.folders_unlisted = 5;
        EXPECT_EQ(c.status, CheckExitStatus(stats, c.nothing_scanned))
            << c.infected << " infected, " << c.error << " errors, " << c.unreadable
            << " unreadable, nothing scanned " << c.nothing_scanned;
    }
    EXPECT_EQ(1, kExitInfected);
    EXPECT_EQ(2, kExitNotExamined);
    EXPECT_EQ(2, kExitBadUsage);
}

TEST(RunOutcomeTest, TheClosingLineCountsWhatTheOperatorMustKnow) {
    // Errors count the unreadable files too, not scanned the unlisted
    // folders.
    ScanStats stats = apptest::SampleRunStats(false);
    stats.infected = 5;  // never both in one run; shows which one is used
    EXPECT_EQ(
        "ZQCindervane: 25 examined, 3 repaired, 9 errors, 13 not scanned; "
        "log: /x/ZQCindervane.log",
        ClosingLine(stats, false, "/x/ZQCindervane.log"));
    EXPECT_EQ(
        "ZQCindervane: 25 examined, 5 infected (nothing repaired), 9 errors, "
        "13 not scanned; log: C:\\Tools\\ZQCindervane.log",
        ClosingLine(stats, true, "C:\\Tools\\ZQCindervane.log"));
    EXPECT_EQ("ZQCindervane: 0 examined, 0 repaired, 0 errors, 0 not scanned; no log",
              ClosingLine(ScanStats(), false, ""));
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
