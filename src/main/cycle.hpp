#pragma once

#include "cycle/shell_state.hpp"
#include "main/loop_effects.hpp"
#include "main/run_setup.hpp"

namespace kelvo {

enum class CycleEnd {
  Continue,
  Ended,    // the run ended by itself (state.ended says why)
  Stopped,  // a stop was asked for; the rest of the cycle did not run
};

// One cycle of the loop, without its closing sleep, in four steps that each make their host call,
// hand its output to the cycle's decisions and carry out what they decided before the next call:
// the poll's lines (commands, boundaries), the truncated output's digest and the codes, the
// activity edges and the host's health, the nudge; then the event hook is looked after. `now` is
// the cycle's one reading of the clock. A stop asked for during a host call ends the cycle
// right after it.
CycleEnd run_cycle(const Run& run, ShellState& state, LoopEffects& effects, WallTime now);

// A stop asked for is the run's end: said on standard error and told as `ending`.
void tell_stop(const Run& run, ShellState& state, LoopEffects& effects, WallTime now);

// After the last cycle: the events still queued for the hook, given EVENT_DRAIN_AT_MOST.
void drain_hooks(ShellState& state, LoopEffects& effects);

}  // namespace kelvo
