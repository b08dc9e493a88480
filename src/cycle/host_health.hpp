#pragma once

#include <optional>
#include <string>

#include "common/report_throttle.hpp"
#include "common/time.hpp"

namespace kelvo {

// How the host's polls and drive-polls have been going: failures without a refusal, in a row.
struct HostHealth {
  std::optional<WallTime> failing_since;  // the first failure of the current run of them
  std::string last_failure;               // what the latest one said, for a person
  ReportThrottle reported;                // the lines about the current run of failures

  bool operator==(const HostHealth&) const = default;
};

// A run of failures is reported once it has lasted this long, then again at this interval.
inline constexpr Millis HOST_FAILING_REPORT_AFTER{60'000};
inline constexpr Millis HOST_FAILING_REPORT_EVERY{600'000};

// A line about the host that is due for a person.
struct HostHealthNews {
  enum class Kind {
    Failing,       // the first line of a run of failures
    StillFailing,  // its reminders, at most every HOST_FAILING_REPORT_EVERY
    Recovered,     // the calls succeed again after a reported run
  };
  Kind kind;
  std::string line;

  bool operator==(const HostHealthNews&) const = default;
};

// Takes one cycle's word on the host: `failure` is its first failed host call, absent when all
// succeeded. Gives the line to report, if one is due: the run of failures has lasted long enough,
// or it ended after it was reported.
std::optional<HostHealthNews> follow_host_health(HostHealth& health,
                                                 const std::optional<std::string>& failure,
                                                 WallTime now);

}  // namespace kelvo
