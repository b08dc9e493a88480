#pragma once

#include "cycle/shell_context.hpp"
#include "main/loop_effects.hpp"

namespace kelvo {

enum class CycleEnd { Continue, Superseded };

// One cycle of the loop, without its closing sleep, in four steps that each make their host call,
// hand its output to the cycle's decisions and carry out what they decided before the next call:
// the poll's lines (commands, boundaries), the truncated output's digest and the codes, the
// activity edges and the host's health, the nudge; then the event hook is looked after. `now` is
// the cycle's one reading of the clock. Superseded after the third refused poll in a row.
CycleEnd run_cycle(ShellContext& context, LoopEffects& effects, WallTime now);

// After the last cycle: the events still queued for the hook, given EVENT_DRAIN_AT_MOST.
void end_run(LoopEffects& effects);

}  // namespace kelvo
