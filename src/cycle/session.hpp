#pragma once

#include "board/stretch_board.hpp"
#include "cycle/activity_tracker.hpp"
#include "cycle/attention.hpp"
#include "cycle/host_health.hpp"
#include "cycle/stretch_ids.hpp"
#include "machine/pacing_machine.hpp"

namespace kelvo {

// What the shell remembers of the agent and the host from cycle to cycle, and what a restart
// keeps: the driver saves it in the session file whenever it changes and restores it after the
// bind. Only the cycle's steps change it.
struct Session {
  PacingMachine machine;
  StretchBoard board{"", WallTime{}};
  ActivityTracker activity;  // the last activity edge the host reported
  Attention attention;       // what was told a person, and the nudges it counts
  HostHealth host_health;
  StretchIds stretch_ids;

  bool operator==(const Session&) const = default;
};

}  // namespace kelvo
