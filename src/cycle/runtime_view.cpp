#include "cycle/runtime_view.hpp"

#include "common/version.hpp"

namespace kelvo {

RuntimeStatus runtime_status_of(const RunSettings& run, const ShellState& state, bool has_hook,
                                WallTime now) {
  const Session& session = state.session;
  const PacingMachine& machine = session.machine;
  const Attention& attention = session.attention;
  RuntimeStatus status;
  status.version = PROGRAM_VERSION;
  status.pid = static_cast<std::int32_t>(run.process_id);
  status.owner = run.owner.value_or("");
  status.shell_id = run.shell_id;
  status.started = run.started;
  status.updated = now;
  if (session.activity.last) {
    status.activity = session.activity.last->activity;
    status.since = session.activity.last->since;
  }
  status.pacing = pacing_of(state);
  status.next_nudge = machine.timer;
  status.nudges = machine.activity == Activity::Idle ? attention.stretch_nudges : 0;
  status.nudges_total = attention.total_nudges;
  const HostHealth& health = session.host_health;
  status.host.ok = !health.failing_since;
  status.host.failing_since = health.failing_since;
  if (health.failing_since) status.host.last_failure = health.last_failure;
  status.board = RuntimeBoard{session.board.id, session.board.checkpoints.size()};
  status.classes = state.owner_state.registry.size();
  if (has_hook) status.hook = RuntimeHook{state.hook.failures, state.hook.last_failure};
  if (state.ended) {
    status.ended =
        RuntimeEnd{state.ended->line, 0, now, std::string(end_cause_name(state.ended->cause))};
  }
  return status;
}

}  // namespace kelvo
