#include <gtest/gtest.h>

#include <limits>

#include "video/time_text.h"

namespace clipsmith {
namespace {

TEST(TimeText, Examples) {
  struct {
    std::uint32_t ms;
    bool hours;
    const char* text;
  } cases[] = {
      {0, false, "00:00.000"},          {0, true, "00:00:00.000"},        {83456, false, "01:23.456"},
      {83456, true, "00:01:23.456"},    {3723004, false, "01:02:03.004"}, {360000000, false, "100:00:00.000"},
      {75000, false, "01:15.000"},      {300000, true, "00:05:00.000"},   {59999, false, "00:59.999"},
      {3599999, false, "59:59.999"},    {3600000, false, "01:00:00.000"}, {4294967295u, false, "1193:02:47.295"},
  };
  for (auto& c : cases) EXPECT_EQ(TimeToText(c.ms, c.hours), c.text) << c.ms;
}

TEST(TimeText, UnitConversions) {
  EXPECT_EQ(RefTimeToMilliseconds(834560000), 83456u);
  EXPECT_EQ(RefTimeToMilliseconds(9999), 0u);
  EXPECT_EQ(RefTimeToMilliseconds(-9999), 0u) << "truncated toward zero";
  EXPECT_EQ(RefTimeToMilliseconds(-10000), 0xFFFFFFFFu);
  EXPECT_EQ(RefTimeToMilliseconds((REFERENCE_TIME(1) << 32) * 10000 + 50000), 5u) << "low 32 bits kept";
  EXPECT_EQ(MillisecondsToRefTime(0xFFFFFFFFu), REFERENCE_TIME(0xFFFFFFFFu) * 10000);
  EXPECT_EQ(UnitsToRefTime(8345, 10), 834500000);
  EXPECT_EQ(UnitsToRefTime(7500, 10), 750000000);
  // The product is a 32-bit value.
  EXPECT_EQ(UnitsToRefTime(500000000, 10), REFERENCE_TIME(705032704) * 10000);
  EXPECT_EQ(UnitsToRefTime(-1, 10), REFERENCE_TIME(4294967286u) * 10000);
}

}  // namespace
}  // namespace clipsmith
