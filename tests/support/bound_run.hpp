#pragma once

#include <string>

#include "cycle/shell_context.hpp"

namespace kelvo::testing {

// A run bound as KELVO-0 on `link` for the owner demo, with the board cqijcs begun at `start`,
// as the set-up leaves it but for the intro.
inline ShellContext bound_run(std::string link, WallTime start) {
  return ShellContext{
      .link = link,
      .frame_key = derive_frame_key(link),
      .owner = "demo",
      .polled = PolledShell{.shell_id = "KELVO-0", .activity = {}, .refusal_streak = 0},
      .state_file = std::nullopt,
      .machine = {},
      .counters = {},
      .owner_state = {},
      .board = StretchBoard("cqijcs", start),
      .host_health = {},
      .stretch_ids = {},
  };
}

}  // namespace kelvo::testing
