// The local wall-clock time with milliseconds.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
    int year;
    int month;  // 1 to 12
    int day;    // 1 to 31
    int hour;   // 0 to 23
    int minute;
    int second;
    int millisecond;  // 0 to 999
};

LocalTime CurrentLocalTime();

// One reading of the clock, split into the second it falls in and the
// milliseconds within it. Two readings have the same `second_key` only when
// they fall in the same second, so the local date and time down to the
// second can be kept from one reading to the next while the key stays.
struct ClockReading {
    int64_t second_key;
    int millisecond;  // 0 to 999
};

// Cheaper than CurrentLocalTime: it does not convert the time to local.
ClockReading ReadClock();
// The local date and time of the reading's second (its milliseconds are
// those of the reading).
LocalTime LocalTimeOf(const ClockReading& reading);

}  // namespace platform
