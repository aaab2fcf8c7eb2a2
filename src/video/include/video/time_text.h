// Time units of the video engine: the media graph's 100-ns reference time, milliseconds, and
// seek-bar units of TimerInterval milliseconds; and the [HH:]MM:SS.mmm time text.
#pragma once

#include <cstdint>
#include <string>

namespace clipsmith {

using REFERENCE_TIME = std::int64_t;

// t / 10000 truncated toward zero, low 32 bits kept.
std::uint32_t RefTimeToMilliseconds(REFERENCE_TIME t);
// ms * 10000 as a 64-bit value.
REFERENCE_TIME MillisecondsToRefTime(std::uint32_t ms);
// The 32-bit product units * interval taken as an unsigned millisecond count, times 10000.
REFERENCE_TIME UnitsToRefTime(std::int32_t units, std::uint32_t interval);

// Optional hours (at least two digits), minutes, seconds and milliseconds: 01:23.456,
// 01:02:03.004, 100:00:00.000; with alwaysHours the hours part is always there (00:01:23.456).
std::string TimeToText(std::uint32_t ms, bool alwaysHours);

}  // namespace clipsmith
