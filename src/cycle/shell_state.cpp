#include "cycle/shell_state.hpp"

#include <utility>

namespace kelvo {

Pacing pacing_of(const ShellState& state) {
  const PacingMachine& machine = state.session.machine;
  const Attention& attention = state.session.attention;
  if (machine.latch == Latch::Lowered) {
    return attention.blocked ? Pacing::Blocked : Pacing::Paused;
  }
  if (machine.held_delay) return Pacing::Held;
  if (machine.activity == Activity::Idle && attention.unresponsive) return Pacing::Unresponsive;
  if (machine.timer) return machine.delay_armed ? Pacing::Waiting : Pacing::Nudging;
  return Pacing::Busy;
}

void reply(const RunSettings& run, std::string text, Outbox& outbox) {
  if (!run.owner) return;
  outbox.effects.emplace_back(Message{SendFlags::ActiveOnly, run.shell_id, std::move(text)});
}

ShellEvent event_at(const RunSettings& run, const ShellState& state, ShellEventKind kind,
                    WallTime now, std::string detail) {
  const PacingMachine& machine = state.session.machine;
  ShellEvent event;
  event.kind = kind;
  event.at = now;
  event.owner = run.owner.value_or("");
  event.shell_id = run.shell_id;
  event.detail = std::move(detail);
  if (machine.idle_since && machine.activity == Activity::Idle) {
    event.since = machine.idle_since;
    event.nudges = state.session.attention.stretch_nudges;
  }
  return event;
}

void save(const RunSettings& run, const ShellState& state, WallTime now, Outbox& outbox) {
  if (!run.state_path) return;
  outbox.effects.emplace_back(Save{state.owner_state, now, state.owner_file_unreadable});
}

}  // namespace kelvo
