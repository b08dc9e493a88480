#include "common/duration.hpp"

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
  for (const auto& [secs, text] : cases) EXPECT_EQ(format_duration(Seconds(secs)), text) << secs;
}

TEST(FormatIdleCoarse, DropsWhatIsFinerThanItsUnit) {
  const std::pair<std::uint64_t, std::string> cases[] = {
      {0, "0s"},          {999, "0s"},         {59999, "59s"},    {60000, "1m"},
      {119999, "1m"},     {3599999, "59m"},    {3600000, "1h0m"}, {3659999, "1h0m"},
      {5400000, "1h30m"}, {90061000, "25h1m"},
  };
  for (const auto& [ms, text] : cases)
    EXPECT_EQ(format_idle_coarse(whole_seconds(Millis(ms))), text) << ms;
}

}  // namespace
}  // namespace kelvo
