// The local time on Win32: GetLocalTime.
#include "platform/local_time.h"

#include <windows.h>

namespace platform {

LocalTime CurrentLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                     now.wMinute, now.wSecond, now.wMilliseconds};
}

// GetLocalTime already gives the local fields, so the key is those fields
// packed in decimal (year, month, day, hour, minute, second) and the local
// time is unpacked from it.
ClockReading ReadClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int64_t key =
        ((((static_cast<int64_t>(now.wYear) * 100 + now.wMonth) * 100 + now.wDay) * 100 +
          now.wHour) *
             100 +
         now.wMinute) *
            100 +
        now.wSecond;
    return ClockReading{key, now.wMilliseconds};
}

LocalTime LocalTimeOf(const ClockReading& reading) {
    int64_t key = reading.second_key;
    const int second = static_cast<int>(key % 100);
    key /= 100;
    const int minute = static_cast<int>(key % 100);
    key /= 100;
    const int hour = static_cast<int>(key % 100);
    key /= 100;
    const int day = static_cast<int>(key % 100);
    key /= 100;
    const int month = static_cast<int>(key % 100);
    const int year = static_cast<int>(key / 100);
    return LocalTime{year, month, day, hour, minute, second, reading.millisecond};
}

}  // namespace platform
