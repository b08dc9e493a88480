#include "main/run_loop.hpp"

#include "main/cycle.hpp"

namespace kelvo {

int run_loop(const StartupSettings& settings, LoopEffects& effects) {
  ShellContext context = set_up_run(settings, effects);
  while (run_cycle(context, effects) == CycleEnd::Continue) effects.clock.sleep_between_cycles();
  return 0;
}

}  // namespace kelvo
