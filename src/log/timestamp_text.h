// The timestamp of a log line, "<year>-<month>-<day> HH:MM:SS mmm  " (the
// layout of "%d-%d-%d %02d:%02d:%02d %03d  "), built from a clock reading.
// The text up to the seconds is kept for the reading's second and made
// again only when a reading falls in another second, so most stamps cost
// two copies and three digits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/local_time.h"

class TimestampText {
  public:
    // The longest stamp kept, as the 50-byte buffer it was formatted into.
    static constexpr size_t kMaxLength = 49;
    using LocalTimeSource = platform::LocalTime (*)(const platform::ClockReading&);

    // `local_time_of` turns a reading into local time (replaceable in tests).
    explicit TimestampText(LocalTimeSource local_time_of = &platform::LocalTimeOf);

    // Writes the stamp of `reading` to `out` (room for kMaxLength bytes, no
    // terminating zero) and returns its length.
    size_t Format(const platform::ClockReading& reading, char* out);

  private:
    LocalTimeSource local_time_of_;
    bool have_second_ = false;
    int64_t second_key_ = 0;
    size_t second_length_ = 0;
    char second_text_[64] = {0};  // "<year>-<month>-<day> HH:MM:SS "
};
