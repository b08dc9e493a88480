#pragma once

#include <optional>
#include <string_view>

namespace kelvo {

// What the pacing of a shell is doing, as its runtime status names it.
enum class Pacing {
  Busy,          // the agent is at work and nothing is held
  Nudging,       // idle, the schedule's timer runs
  Waiting,       // idle, a wait or a delay set the timer
  Held,          // busy, a wait or a delay is held for the next idle stretch
  Paused,        // the operator's pause
  Blocked,       // the agent's !!done!!
  Unresponsive,  // idle, and the nudge that counts as unanswered has gone out
};

// "busy", "nudging", … as the file spells them.
std::string_view pacing_name(Pacing pacing);
std::optional<Pacing> pacing_named(std::string_view name);

}  // namespace kelvo
