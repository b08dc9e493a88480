#pragma once

#include "common/time.hpp"

namespace kelvo {

enum class Activity { Busy, Idle };

// The endpoint's activity as the host reports it: its state and when it entered it. An activity
// frame carries one, and the tracker passes the new ones on as edges.
struct ActivityReport {
  Activity activity = Activity::Busy;
  WallTime since{};

  bool operator==(const ActivityReport&) const = default;
};

}  // namespace kelvo
