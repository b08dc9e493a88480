#include "cycle/shell_context.hpp"

#include <utility>

namespace kelvo {

Pacing pacing_of(const ShellContext& context) {
  const PacingMachine& machine = context.machine;
  if (machine.latch == Latch::Lowered) {
    return context.attention.blocked ? Pacing::Blocked : Pacing::Paused;
  }
  if (machine.held_delay) return Pacing::Held;
  if (machine.activity == Activity::Idle && context.attention.unresponsive &&
      context.attention.stretch == machine.idle_since) {
    return Pacing::Unresponsive;
  }
  if (machine.timer) return machine.delay_armed ? Pacing::Waiting : Pacing::Nudging;
  return Pacing::Busy;
}

std::optional<std::string> sender(const ShellContext& context) {
  if (!context.polled) return std::nullopt;
  return context.polled->shell_id;
}

void reply(const ShellContext& context, std::string text, Outbox& outbox) {
  if (!context.owner) return;
  outbox.effects.emplace_back(Message{SendFlags::ActiveOnly, sender(context), std::move(text)});
}

ShellEvent event_at(const ShellContext& context, ShellEventKind kind, WallTime now,
                    std::string detail) {
  ShellEvent event;
  event.kind = kind;
  event.at = now;
  event.owner = context.owner.value_or("");
  event.shell_id = sender(context);
  event.detail = std::move(detail);
  const auto& since = context.machine.idle_since;
  if (since && context.machine.activity == Activity::Idle) {
    event.since = since;
    if (context.attention.stretch == since) event.nudges = context.attention.stretch_nudges;
  }
  return event;
}

void save(const ShellContext& context, WallTime now, Outbox& outbox) {
  if (context.state_file) outbox.effects.emplace_back(Save{context.owner_state, now});
}

}  // namespace kelvo
