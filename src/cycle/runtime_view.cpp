#include "cycle/runtime_view.hpp"

#include "common/version.hpp"

namespace kelvo {

RuntimeStatus runtime_status_of(const ShellContext& context, std::int32_t pid, WallTime now) {
  const PacingMachine& machine = context.machine;
  const Attention& attention = context.attention;
  RuntimeStatus status;
  status.version = PROGRAM_VERSION;
  status.pid = pid;
  status.owner = context.owner.value_or("");
  status.shell_id = sender(context);
  status.started = context.started;
  status.updated = now;
  if (context.polled && context.polled->activity.last) {
    status.activity = context.polled->activity.last->activity;
    status.since = context.polled->activity.last->since;
  }
  status.pacing = pacing_of(context);
  status.next_nudge = machine.timer;
  const bool this_stretch = machine.activity == Activity::Idle && attention.stretch &&
                            attention.stretch == machine.idle_since;
  status.nudges = this_stretch ? attention.stretch_nudges : 0;
  status.nudges_total = attention.total_nudges;
  const HostHealth& health = context.host_health;
  status.host.ok = !health.failing_since;
  status.host.failing_since = health.failing_since;
  if (health.failing_since) status.host.last_failure = health.last_failure;
  status.board = RuntimeBoard{context.board.id, context.board.checkpoints.size()};
  status.classes = context.owner_state.registry.size();
  return status;
}

}  // namespace kelvo
