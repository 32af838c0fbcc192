// The local wall-clock time with milliseconds.
#pragma once

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

}  // namespace platform
