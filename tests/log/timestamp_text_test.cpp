// The log's timestamp text, kept per second: readings in the same second,
// in the next one, back in an earlier one, and across a day, a year and a
// daylight-saving change, each give the text the full format gives.
#include "log/timestamp_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// A clock whose second keys are indexes into a table of local times.
const platform::LocalTime kSeconds[] = {
    {2026, 12, 31, 23, 59, 59, 0},  // 0: the last second of a year
    {2027, 1, 1, 0, 0, 0, 0},       // 1: the next one
    {2027, 3, 28, 1, 59, 59, 0},    // 2: before the clocks go forward
    {2027, 3, 28, 3, 0, 0, 0},      // 3: the next second, an hour later
    {2027, 10, 31, 2, 59, 59, 0},   // 4: before the clocks go back
    {2027, 10, 31, 2, 0, 0, 0},     // 5: the next second, an hour earlier
    {2027, 1, 1, 9, 5, 3, 0},       // 6
};

platform::LocalTime FromTable(const platform::ClockReading& reading) {
    platform::LocalTime t = kSeconds[reading.second_key];
    t.millisecond = reading.millisecond;
    return t;
}

std::string Expected(const platform::ClockReading& reading) {
    const platform::LocalTime t = FromTable(reading);
    char text[50] = {0};
    std::snprintf(text, sizeof(text), "%d-%d-%d %02d:%02d:%02d %03d  ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return text;
}

TEST(TimestampText, KeptSecondIsRenewedWheneverTheReadingChangesSecond) {
    const platform::ClockReading readings[] = {
        {0, 998}, {0, 999}, {1, 0}, {1, 7},  {0, 999}, {2, 999}, {3, 0},
        {3, 1},   {4, 999}, {5, 0}, {5, 45}, {6, 45},  {6, 45},  {6, 100},
    };
    TimestampText stamp(&FromTable);
    for (const platform::ClockReading& reading : readings) {
        char out[TimestampText::kMaxLength];
        const size_t length = stamp.Format(reading, out);
        EXPECT_EQ(std::string(out, length), Expected(reading))
            << "second " << reading.second_key << " ms " << reading.millisecond;
    }
    char out[TimestampText::kMaxLength];
    EXPECT_EQ(std::string(out, stamp.Format({6, 45}, out)), "2027-1-1 09:05:03 045  ");
}

TEST(TimestampText, MatchesThePlatformClockAcrossSeconds) {
    // Real readings taken until the second has changed: each stamp
    // is the local time of its own reading.
    TimestampText stamp;
    int changes = 0;
    int64_t last_key = platform::ReadClock().second_key;
    while (changes < 1) {
        const platform::ClockReading reading = platform::ReadClock();
        char out[TimestampText::kMaxLength];
        const std::string text(out, stamp.Format(reading, out));
        const platform::LocalTime t = platform::LocalTimeOf(reading);
        char expected[50] = {0};
        std::snprintf(expected, sizeof(expected), "%d-%d-%d %02d:%02d:%02d %03d  ", t.year, t.month,
                      t.day, t.hour, t.minute, t.second, t.millisecond);
        ASSERT_EQ(text, expected);
        if (reading.second_key != last_key) {
            ++changes;
            last_key = reading.second_key;
        }
    }
}

}  // namespace
