// The local time on POSIX: clock_gettime and localtime_r, to the millisecond.
#include "platform/local_time.h"

#include <time.h>

namespace platform {

LocalTime CurrentLocalTime() {
    return LocalTimeOf(ReadClock());
}

ClockReading ReadClock() {
    // The key is the second since the epoch: the local date and time
    // follow from it alone (a change of daylight saving time falls on a
    // new second).
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return ClockReading{static_cast<int64_t>(now.tv_sec), static_cast<int>(now.tv_nsec / 1000000)};
}

LocalTime LocalTimeOf(const ClockReading& reading) {
    const time_t seconds = static_cast<time_t>(reading.second_key);
    tm parts{};
    localtime_r(&seconds, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,      parts.tm_hour,
                     parts.tm_min,         parts.tm_sec,     reading.millisecond};
}

}  // namespace platform
