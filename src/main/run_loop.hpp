#pragma once

#include "main/loop_effects.hpp"
#include "main/startup.hpp"

namespace kelvo {

// Sets the run up and runs cycles, 500 ms apart, until the host refuses the link three polls in
// a row or a stop is asked for (the session is then saved); then gives the exit code (0). The
// session is saved after each cycle that changed it. The service manager hears READY=1 after the
// set-up, the watchdog and any new status after each cycle, and STOPPING=1 before the end. The
// runtime status file, with a runtime folder, is written after the set-up, after each cycle when
// due, and last with how the run ended; the event hook's queue is given its time before the exit.
// The owner state is not saved on the way out: every change was saved when it happened.
int run_loop(const StartupSettings& settings, LoopEffects& effects);

}  // namespace kelvo
