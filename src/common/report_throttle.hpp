#pragma once

#include <optional>

#include "common/time.hpp"

namespace kelvo {

// Keeps the lines about a failure that goes on from flooding a person: one when it starts, then
// at most one every so often, until it is over.
struct ReportThrottle {
  std::optional<WallTime> last;  // when a line was last let through, while the failure goes on

  bool operator==(const ReportThrottle&) const = default;
};

// Whether a line may go out at `now`: none went out yet, or the last one at least `every` ago.
// One that may is counted as gone out.
inline bool take_turn(ReportThrottle& throttle, WallTime now, Millis every) {
  if (throttle.last && elapsed_between(*throttle.last, now) < every) return false;
  throttle.last = now;
  return true;
}

}  // namespace kelvo
