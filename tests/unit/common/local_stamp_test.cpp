#include "common/local_stamp.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "main/loop_clock.hpp"
#include "support/local_zone.hpp"

namespace kelvo {
namespace {

class LocalStamp : public testing::LocalZoneTest {};

constexpr std::uint64_t MARCH_7_0905_UTC = 1772874300000;

std::string stamp_at_ms(std::uint64_t ms) { return local_stamp_at(at_epoch_ms(ms)); }

TEST_F(LocalStamp, WritesHourMinuteAndDateWithLeadingZeros) {
  use_zone("UTC0");
  EXPECT_EQ(stamp_at_ms(MARCH_7_0905_UTC), "09:05 2026-03-07");
  EXPECT_EQ(stamp_at_ms(MARCH_7_0905_UTC + 59999), "09:05 2026-03-07");
  EXPECT_EQ(stamp_at_ms(0), "00:00 1970-01-01");
  EXPECT_EQ(stamp_at_ms(UINT64_MAX), "14:25 584556019-04-03");
  EXPECT_EQ(local_time_of_day(at_epoch_ms(MARCH_7_0905_UTC + 7999)), "09:05:07");
  EXPECT_EQ(local_time_of_day(at_epoch_ms(UINT64_MAX)), "14:25:51");
}

TEST_F(LocalStamp, FollowsTheLocalZone) {
  use_zone("IST-5:30");
  EXPECT_EQ(stamp_at_ms(MARCH_7_0905_UTC), "14:35 2026-03-07");
  EXPECT_EQ(local_time_of_day(at_epoch_ms(MARCH_7_0905_UTC)), "14:35:00");
  use_zone("EST5");
  EXPECT_EQ(stamp_at_ms(MARCH_7_0905_UTC - 7 * 3600000), "21:05 2026-03-06");
}

}  // namespace
}  // namespace kelvo
