#pragma once

#include "cycle/shell_context.hpp"
#include "main/loop_effects.hpp"
#include "main/startup.hpp"

namespace kelvo {

// The run set-up: the owner state from its file (an unreadable one is reported and the run
// starts empty), the polled shell, machine, counters and a fresh board; then the intro.
ShellContext set_up_run(const StartupSettings& settings, LoopEffects& effects);

}  // namespace kelvo
