// The timestamp text of a log line, reusing the date part while the second stays the same.
#include "log/timestamp_text.h"

#include <cstdio>
#include <cstring>

TimestampText::TimestampText(LocalTimeSource local_time_of) : local_time_of_(local_time_of) {}

size_t TimestampText::Format(const platform::ClockReading& reading, char* out) {
    if (!have_second_ || reading.second_key != second_key_) {
        const platform::LocalTime now = local_time_of_(reading);
        const int length =
            std::snprintf(second_text_, sizeof(second_text_), "%d-%d-%d %02d:%02d:%02d ", now.year,
                          now.month, now.day, now.hour, now.minute, now.second);
        second_length_ = length > 0 ? static_cast<size_t>(length) : 0;
        if (second_length_ >= sizeof(second_text_)) {
            second_length_ = sizeof(second_text_) - 1;
        }
        second_key_ = reading.second_key;
        have_second_ = true;
    }

    char tail[16];
    size_t tail_length;
    const int ms = reading.millisecond;
    if (ms >= 0 && ms <= 999) {
        tail[0] = static_cast<char>('0' + ms / 100);
        tail[1] = static_cast<char>('0' + ms / 10 % 10);
        tail[2] = static_cast<char>('0' + ms % 10);
        tail[3] = ' ';
        tail[4] = ' ';
        tail_length = 5;
    } else {
        const int length = std::snprintf(tail, sizeof(tail), "%03d  ", ms);
        tail_length = length > 0 ? static_cast<size_t>(length) : 0;
    }

    // As formatted into 50 bytes: whatever lies past 49 bytes is cut.
    size_t length = second_length_ < kMaxLength ? second_length_ : kMaxLength;
    std::memcpy(out, second_text_, length);
    const size_t tail_room = kMaxLength - length;
    const size_t tail_kept = tail_length < tail_room ? tail_length : tail_room;
    std::memcpy(out + length, tail, tail_kept);
    return length + tail_kept;
}
