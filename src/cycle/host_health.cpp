#include "cycle/host_health.hpp"

#include "common/duration.hpp"

namespace kelvo {

namespace {

std::string lasting(const HostHealth& health, WallTime now) {
  return format_duration(whole_seconds(elapsed_between(*health.failing_since, now)));
}

}  // namespace

std::optional<HostHealthNews> follow_host_health(HostHealth& health,
                                                 const std::optional<std::string>& failure,
                                                 WallTime now) {
  if (!failure) {
    if (!health.failing_since) return std::nullopt;
    const bool was_reported = health.reported.last.has_value();
    const std::string lasted = lasting(health, now);
    health = {};
    if (!was_reported) return std::nullopt;
    return HostHealthNews{HostHealthNews::Kind::Recovered,
                          "host calls succeed again after " + lasted + " of failures"};
  }
  if (!health.failing_since) health.failing_since = now;
  health.last_failure = *failure;
  if (elapsed_between(*health.failing_since, now) < HOST_FAILING_REPORT_AFTER) return std::nullopt;
  const auto kind =
      health.reported.last ? HostHealthNews::Kind::StillFailing : HostHealthNews::Kind::Failing;
  if (!take_turn(health.reported, now, HOST_FAILING_REPORT_EVERY)) return std::nullopt;
  return HostHealthNews{
      kind, "host calls failing for " + lasting(health, now) + ": " + health.last_failure};
}

}  // namespace kelvo
