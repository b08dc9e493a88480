#include "main/run_loop.hpp"

#include "common/console.hpp"
#include "main/cycle.hpp"
#include "main/run_setup.hpp"
#include "main/runtime_file.hpp"
#include "main/service_reports.hpp"

namespace kelvo {

namespace {

// The runtime status file, kept for a run with a runtime folder and an owner to name it by.
std::optional<RuntimeFile> runtime_file_for(const StartupSettings& settings,
                                            const ShellContext& context,
                                            const LoopEffects& effects) {
  if (!settings.runtime_dir || !context.owner) return std::nullopt;
  return RuntimeFile(*settings.runtime_dir, *context.owner,
                     static_cast<std::int32_t>(effects.process_id));
}

void report_failed_write(const std::optional<std::string>& line) {
  if (line) report(Urgency::Warning, *line);
}

}  // namespace

int run_loop(const StartupSettings& settings, LoopEffects& effects) {
  ShellContext context = set_up_run(settings, effects);
  std::optional<RuntimeFile> runtime = runtime_file_for(settings, context, effects);
  ServiceReports reports(effects.service);
  reports.ready(context);
  if (runtime) report_failed_write(runtime->update(context, context.started));
  WallTime now = effects.clock.now();
  while (run_cycle(context, effects, now) == CycleEnd::Continue) {
    reports.cycle_done(context);
    if (runtime) report_failed_write(runtime->update(context, now));
    effects.clock.sleep_between_cycles();
    now = effects.clock.now();
  }
  reports.stopping();
  if (runtime) report_failed_write(runtime->end(context, now, context.ended_with.value_or(""), 0));
  end_run(effects);
  return 0;
}

}  // namespace kelvo
