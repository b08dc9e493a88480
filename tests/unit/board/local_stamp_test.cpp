#include "board/local_stamp.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "main/loop_clock.hpp"

namespace kelvo {
namespace {

// Runs each test under a chosen TZ and puts the process's own back afterwards.
class LocalStamp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_tz_ = tz;
  }
  void TearDown() override {
    if (saved_tz_) {
      setenv("TZ", saved_tz_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void use_zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

 private:
  std::optional<std::string> saved_tz_;
};

constexpr std::uint64_t MARCH_7_0905_UTC = 1772874300000;

std::string stamp_at_ms(std::uint64_t ms) { return local_stamp_at(at_epoch_ms(ms)); }

TEST_F(LocalStamp, WritesHourMinuteAndDateWithLeadingZeros) {
  use_zone("UTC0");
  EXPECT_EQ(stamp_at_ms(MARCH_7_0905_UTC), "09:05 2026-03-07");
  EXPECT_EQ(stamp_at_ms(MARCH_7_0905_UTC + 59999), "09:05 2026-03-07");
  EXPECT_EQ(stamp_at_ms(0), "00:00 1970-01-01");
  EXPECT_EQ(stamp_at_ms(UINT64_MAX), "14:25 584556019-04-03");
}

TEST_F(LocalStamp, FollowsTheLocalZone) {
  use_zone("IST-5:30");
  EXPECT_EQ(stamp_at_ms(MARCH_7_0905_UTC), "14:35 2026-03-07");
  use_zone("EST5");
  EXPECT_EQ(stamp_at_ms(MARCH_7_0905_UTC - 7 * 3600000), "21:05 2026-03-06");
}

TEST_F(LocalStamp, ReadsTheCurrentClock) {
  use_zone("UTC0");
  const std::time_t before = std::time(nullptr);
  const std::string stamp = SystemClock().local_stamp();
  const std::time_t after = std::time(nullptr);
  const std::string expected_before = stamp_at_ms(static_cast<std::uint64_t>(before) * 1000);
  const std::string expected_after = stamp_at_ms(static_cast<std::uint64_t>(after) * 1000);
  EXPECT_TRUE(stamp == expected_before || stamp == expected_after) << stamp;
}

}  // namespace
}  // namespace kelvo
