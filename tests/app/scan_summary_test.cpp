// The summary line's text: every counter in its place and the seconds with
// three decimals, for tools that parse the log.
#include "app/scan_summary.h"

#include <gtest/gtest.h>

namespace {

TEST(ScanSummaryTest, TextCarriesEveryCounterAndTheSeconds) {
    ScanStats stats;
    stats.folders_entered = 12;
    stats.folders_unlisted = 9;
    stats.files_seen = 340;
    stats.images_examined = 25;
    stats.safe = 20;
    stats.fixed = 3;
    stats.error = 2;
    stats.unreadable = 7;
    stats.not_scanned = 4;
    struct Case {
        uint64_t elapsed_ms;
        const char* seconds;
    };
    const Case cases[] = {{0, "0.000"}, {7, "0.007"}, {1050, "1.050"}, {123456789, "123456.789"}};
    for (const Case& c : cases) {
        EXPECT_EQ(std::string("Summary...Folders:12, Files:340, Examined:25, Safe:20, Is Fix:3, "
                              "Error:2, Unreadable:7, Not Scanned:4, Unlisted:9, Seconds:") +
                      c.seconds,
                  ScanSummaryText(stats, c.elapsed_ms));
    }
}

TEST(ScanSummaryTest, CountsBeyondThirtyTwoBitsAreWrittenWhole) {
    ScanStats stats;
    stats.files_seen = 0x100000000ull + 5;
    const std::string text = ScanSummaryText(stats, 0);
    EXPECT_NE(std::string::npos, text.find(", Files:4294967301, ")) << text;
}

}  // namespace
