#include "main/run_loop.hpp"

#include "common/console.hpp"
#include "main/cycle.hpp"
#include "main/run_setup.hpp"
#include "main/runtime_file.hpp"
#include "main/service_reports.hpp"
#include "main/session_keeper.hpp"

namespace kelvo {

namespace {

// The runtime status file, kept for a run with a runtime folder and an owner to name it by.
std::optional<RuntimeFile> runtime_file_for(const StartupSettings& settings, const Run& run) {
  if (!settings.runtime_dir || !run.settings.owner) return std::nullopt;
  return RuntimeFile(*settings.runtime_dir, *run.settings.owner, settings.on_event.has_value());
}

void report_failed_write(const std::optional<std::string>& line) {
  if (line) report(Urgency::Warning, *line);
}

}  // namespace

int run_loop(const StartupSettings& settings, LoopEffects& effects) {
  StartedRun set_up = set_up_run(settings, effects);
  const Run& run = set_up.run;
  ShellState& state = set_up.state;
  std::optional<RuntimeFile> runtime = runtime_file_for(settings, run);
  SessionKeeper sessions(run,
                         state.restored_unchecked ? std::optional(state.session) : std::nullopt);
  ServiceReports reports(effects.service);
  reports.ready(run.settings, state);
  if (runtime) report_failed_write(runtime->update(run.settings, state, run.settings.started));
  WallTime now = effects.clock.now();
  CycleEnd end = CycleEnd::Continue;
  while ((end = run_cycle(run, state, effects, now)) == CycleEnd::Continue) {
    report_failed_write(sessions.keep(state.session, now));
    reports.cycle_done(run.settings, state);
    if (runtime) report_failed_write(runtime->update(run.settings, state, now));
    effects.clock.sleep_between_cycles();
    if (effects.stop.requested()) {
      end = CycleEnd::Stopped;
      break;
    }
    now = effects.clock.now();
  }
  // A link refused to this shell may be another's now: its session is that shell's to keep.
  if (end == CycleEnd::Stopped) {
    now = effects.clock.now();
    report_failed_write(sessions.keep(state.session, now));
    tell_stop(run, state, effects, now);
  }
  reports.stopping();
  if (runtime) report_failed_write(runtime->end(run.settings, state, now));
  drain_hooks(state, effects);
  return 0;
}

}  // namespace kelvo
