#include "video/time_text.h"

#include <cstdio>

namespace clipsmith {

std::uint32_t RefTimeToMilliseconds(REFERENCE_TIME t) { return std::uint32_t(std::uint64_t(t / 10000)); }

REFERENCE_TIME MillisecondsToRefTime(std::uint32_t ms) { return REFERENCE_TIME(ms) * 10000; }

REFERENCE_TIME UnitsToRefTime(std::int32_t units, std::uint32_t interval) {
  std::uint32_t ms = std::uint32_t(units) * interval;  // wraps like the 32-bit product it stands for
  return REFERENCE_TIME(ms) * 10000;
}

std::string TimeToText(std::uint32_t ms, bool alwaysHours) {
  std::uint32_t sec = ms / 1000;
  std::uint32_t min = sec / 60;
  std::uint32_t hours = min / 60;
  char buf[64];
  std::string text;
  if (hours != 0) {
    std::snprintf(buf, sizeof buf, "%02u:", hours);
    text = buf;
  } else if (alwaysHours) {
    text = "00:";
  }
  std::snprintf(buf, sizeof buf, "%02u:%02u.%03u", min - 60 * hours, sec - 60 * min, ms - 1000 * sec);
  return text + buf;
}

}  // namespace clipsmith
