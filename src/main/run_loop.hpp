#pragma once

#include "main/shell_context.hpp"
#include "main/startup.hpp"

namespace kelvo {

// Sets the run up and runs cycles, 500 ms apart, until the shell is superseded; then gives the
// exit code (0). Nothing is saved on the way out: every change was saved when it happened.
int run_loop(const StartupSettings& settings, LoopEffects& effects);

}  // namespace kelvo
