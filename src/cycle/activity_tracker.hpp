#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "common/activity.hpp"

namespace kelvo {

// One change of the endpoint's activity, as the host reported it.
using ActivityEdge = ActivityReport;

// Turns the host's repeated activity reports into edges: it remembers the last edge it passed on
// for the whole run and yields only frames that report something new.
struct ActivityTracker {
  std::optional<ActivityEdge> last;

  bool operator==(const ActivityTracker&) const = default;
};

// The new edges among the activity frames of one drive-poll output, in output order. A change of
// state is new even when its `since` is not later; the same state is new only with a later one.
std::vector<ActivityEdge> follow_activity(ActivityTracker& tracker,
                                          std::string_view drive_poll_output);

}  // namespace kelvo
