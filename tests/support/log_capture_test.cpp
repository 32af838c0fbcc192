// SplitLogLine, the test support's reading of a log line: the timestamp
// layout it accepts and the two parts it hands back.
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SplitLogLine, TimestampLayoutHasUnpaddedDateAndPaddedTime) {
    struct Case {
        const char* line;
        bool valid;
        const char* stamp;  // the parts of a valid line, the two spaces in the stamp
        const char* message;
    };
    const Case cases[] = {
        {"2027-1-1 09:05:03 045  End...", true, "2027-1-1 09:05:03 045  ", "End..."},
        {"2026-12-31 23:59:59 999  ", true, "2026-12-31 23:59:59 999  ", ""},
        {"2027-01-1 09:05:03 045  End...", false, "", ""},  // padded month
        {"2027-1-01 09:05:03 045  End...", false, "", ""},  // padded day
        {"2027-1-1 9:05:03 045  End...", false, "", ""},    // unpadded hour
        {"2027-1-1 09:05:03 45  End...", false, "", ""},    // two-digit milliseconds
        {"2027-1-1 09:05:03 045 End...", false, "", ""},    // one space
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::string stamp;
        std::string message;
        EXPECT_EQ(c.valid, testsupport::SplitLogLine(c.line, &stamp, &message));
        if (c.valid) {
            EXPECT_EQ(c.stamp, stamp);
            EXPECT_EQ(c.message, message);
        }
    }
}

}  // namespace
