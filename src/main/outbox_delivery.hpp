#pragma once

#include "cycle/outbox.hpp"
#include "cycle/shell_state.hpp"
#include "main/loop_effects.hpp"

namespace kelvo {

struct Run;

// Carries out what a step of the cycle decided, in order, and empties the outbox: messages go
// through the host's send, saves to the state file (an unreadable one first moved aside), lines
// to standard error, events to the event hook. A send that cannot start and a failed save are
// reported; the loop goes on. Gives what it saw, for the next step to take in.
Delivery carry_out(const Run& run, const ShellState& state, LoopEffects& effects, Outbox& outbox);

}  // namespace kelvo
