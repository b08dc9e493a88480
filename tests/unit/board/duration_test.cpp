#include "board/duration.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {
namespace {

TEST(FormatDuration, WritesHoursMinutesSecondsWithoutDays) {
  const std::vector<std::pair<std::uint64_t, std::string>> cases = {
      {0, "0s"},      {59, "59s"},      {60, "1m"},
      {61, "1m1s"},   {3600, "1h"},     {3601, "1h0m1s"},
      {3660, "1h1m"}, {3661, "1h1m1s"}, {90000, "25h"},
      {725, "12m5s"}, {2410, "40m10s"}, {18446744073709551615u, "5124095576030431h0m15s"},
  };
  for (const auto& [secs, text] : cases) EXPECT_EQ(format_duration(secs), text) << secs;
}

}  // namespace
}  // namespace kelvo
