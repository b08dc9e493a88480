#pragma once

#include <string>

#include "cycle/run_settings.hpp"
#include "cycle/shell_state.hpp"

namespace kelvo::testing {

struct BoundRun {
  RunSettings run;
  ShellState state;
};

// A run bound as KELVO-0 on `link` for the owner demo, with the board cqijcs begun at `start`,
// as the set-up leaves it but for the intro.
inline BoundRun bound_run(std::string link, WallTime start) {
  BoundRun bound{.run = {.frame_key = derive_frame_key(link),
                         .owner = "demo",
                         .shell_id = "KELVO-0",
                         .state_path = std::nullopt,
                         .unresponsive_after = DEFAULT_UNRESPONSIVE_AFTER,
                         .process_id = 0,
                         .started = start},
                 .state = {}};
  bound.state.session.board = StretchBoard("cqijcs", start);
  return bound;
}

}  // namespace kelvo::testing
