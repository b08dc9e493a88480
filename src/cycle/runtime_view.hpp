#pragma once

#include <cstdint>

#include "common/time.hpp"
#include "cycle/shell_state.hpp"
#include "runtime/runtime_status.hpp"

namespace kelvo {

// What the shell says of itself in its runtime status file at `now`: who it is (`pid`, since the
// run began), the agent's activity and pacing, the host's health, the board, the registry, the
// event hook's failures (with `has_hook`) and how the run ended, once it has (every end is a
// clean exit). Never the link token.
RuntimeStatus runtime_status_of(const RunSettings& run, const ShellState& state, bool has_hook,
                                WallTime now);

}  // namespace kelvo
