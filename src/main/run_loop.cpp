#include "main/run_loop.hpp"

#include "main/cycle.hpp"
#include "main/run_setup.hpp"
#include "main/service_reports.hpp"

namespace kelvo {

int run_loop(const StartupSettings& settings, LoopEffects& effects) {
  ShellContext context = set_up_run(settings, effects);
  ServiceReports reports(effects.service);
  reports.ready(context);
  while (run_cycle(context, effects) == CycleEnd::Continue) {
    reports.cycle_done(context);
    effects.clock.sleep_between_cycles();
  }
  reports.stopping();
  end_run(effects);
  return 0;
}

}  // namespace kelvo
