// The summary line's text: every counter in its place and the seconds with
// three decimals, for tools that parse the log.
#include "app/scan_summary.h"

#include <gtest/gtest.h>

#include "sample_run_stats.h"

namespace {

TEST(ScanSummaryTest, TextCarriesEveryCounterAndTheSeconds) {
    const ScanStats stats = apptest::SampleRunStats(false);
    struct Case {
        uint64_t elapsed_ms;
        const char* seconds;
    };
    const Case cases[] = {{0, "0.000"}, {7, "0.007"}, {1050, "1.050"}, {123456789, "123456.789"}};
    for (const Case& c : cases) {
        EXPECT_EQ(
            std::string("Summary...Folders:12, Files:340, Examined:25, Safe:20, Is Fix:3, "
                        "Error:2, Unreadable:7, In use:5, Not Scanned:4, Unlisted:9, Roots:2, "
                        "Seconds:") +
                c.seconds,
            ScanSummaryText(stats, 2, false, c.elapsed_ms));
    }
}

// A run that only checks: its infected images after Is Fix (0), the rest in
// the same order.
TEST(ScanSummaryTest, ACheckOnlyRunCountsItsInfectedImages) {
    EXPECT_EQ(
        "Summary...Folders:12, Files:340, Examined:25, Safe:20, Is Fix:0, Infected:3, Error:2, "
        "Unreadable:7, In use:5, Not Scanned:4, Unlisted:9, Roots:1, Seconds:2.500",
        ScanSummaryText(apptest::SampleRunStats(true), 1, true, 2500));
    // Nothing scanned: no root at all.
    EXPECT_EQ(
        "Summary...Folders:0, Files:0, Examined:0, Safe:0, Is Fix:0, Infected:0, Error:0, "
        "Unreadable:0, In use:0, Not Scanned:0, Unlisted:0, Roots:0, Seconds:0.000",
        ScanSummaryText(ScanStats(), 0, true, 0));
}

TEST(ScanSummaryTest, CountsBeyondThirtyTwoBitsAreWrittenWhole) {
    ScanStats stats;
    stats.files_seen = 0x100000000ull + 5;
    const std::string text = ScanSummaryText(stats, 0, false, 0);
    EXPECT_NE(std::string::npos, text.find(", Files:4294967301, ")) << text;
}

}  // namespace
