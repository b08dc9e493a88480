#pragma once

#include <cstdint>

#include "common/time.hpp"
#include "cycle/shell_context.hpp"
#include "runtime/runtime_status.hpp"

namespace kelvo {

// What the shell says of itself in its runtime status file at `now`: who it is (`pid`, since the
// run began), the agent's activity and pacing, the host's health, the board and the registry.
// Never the link token.
RuntimeStatus runtime_status_of(const ShellContext& context, std::int32_t pid, WallTime now);

}  // namespace kelvo
