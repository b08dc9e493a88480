#include "cycle/host_health.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kelvo {
namespace {

TEST(HostHealth, ReportsALastingRunOfFailuresThenEveryTenMinutesThenItsEnd) {
  struct Step {
    std::uint64_t at_ms;
    std::optional<std::string> failure;
    std::optional<HostHealthNews> news;
  };
  using Kind = HostHealthNews::Kind;
  const std::string down = "poll exit status 1; stderr \"qrn: database locked\"";
  const std::vector<Step> steps = {
      {0, "poll cannot start", std::nullopt},
      {30'000, std::nullopt, std::nullopt},  // a short run ends unreported
      {40'000, down, std::nullopt},
      {99'999, down, std::nullopt},
      {100'000, down, HostHealthNews{Kind::Failing, "host calls failing for 1m: " + down}},
      {100'500, down, std::nullopt},
      {699'999, "drive-poll exit status 2", std::nullopt},
      {700'000, "drive-poll exit status 2",
       HostHealthNews{Kind::StillFailing, "host calls failing for 11m: drive-poll exit status 2"}},
      {701'000, std::nullopt,
       HostHealthNews{Kind::Recovered, "host calls succeed again after 11m1s of failures"}},
      {702'000, down, std::nullopt},
      // a new run starts its own count
      {762'000, down, HostHealthNews{Kind::Failing, "host calls failing for 1m: " + down}},
  };
  HostHealth health;
  for (const Step& step : steps) {
    EXPECT_EQ(follow_host_health(health, step.failure, at_epoch_ms(step.at_ms)), step.news)
        << step.at_ms;
  }
}

}  // namespace
}  // namespace kelvo
