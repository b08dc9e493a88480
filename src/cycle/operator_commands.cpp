#include "cycle/operator_commands.hpp"

#include <type_traits>
#include <variant>

#include "board/board_message.hpp"
#include "cycle/operator_messages.hpp"
#include "state/class_registry.hpp"

namespace kelvo {

namespace {

void pause_or_delay(ShellContext& context, const PauseCommand& command, WallTime now) {
  apply_pause(context.machine, command.minutes, now);
  if (command.minutes) mark_checkpoint(context.board, now);
  // A pause is the operator's, even over the agent's `!!done!!`.
  if (!command.minutes) context.attention.blocked.reset();
}

void classify_by_operator(ShellContext& context, const ClassifyCommand& command, WallTime now,
                          Outbox& outbox) {
  const auto done =
      classify_checkpoint(context.board, context.owner_state, command.designator,
                          command.class_name, now, draw_stretch_id(context.stretch_ids, now));
  if (!done) {
    reply(context, refusal_text("classify", done.failure().reason), outbox);
    return;
  }
  save(context, now, outbox);
}

void retire_classes(ShellContext& context, const RetireCommand& command, WallTime now,
                    Outbox& outbox) {
  const RetireOutcome outcome = retire(context.owner_state, command.names);
  if (outcome.retired.empty()) {
    reply(context, refusal_text("retire", retire_refusal_reason(outcome.missing)), outbox);
    return;
  }
  save(context, now, outbox);
  reply(context, retire_reply(outcome), outbox);
}

}  // namespace

std::string status_reply(const ShellContext& context, WallTime now) {
  return status(context.machine, now) + board_status_line(context.board) +
         registry_summary(context.owner_state) + std::string(VERSION_SUFFIX) +
         io_summary(context.counters);
}

void act_on_command(ShellContext& context, const ShellCommand& command, WallTime now,
                    Outbox& outbox) {
  std::visit(
      [&](const auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, PauseCommand>) {
          pause_or_delay(context, c, now);
        } else if constexpr (std::is_same_v<C, ClassifyCommand>) {
          classify_by_operator(context, c, now, outbox);
        } else if constexpr (std::is_same_v<C, StatusCommand>) {
          reply(context, status_reply(context, now), outbox);
        } else if constexpr (std::is_same_v<C, RetireCommand>) {
          retire_classes(context, c, now, outbox);
        } else {
          static_assert(std::is_same_v<C, RefusedCommand>);
          reply(context, refusal_text(c.op, c.message), outbox);
        }
      },
      command);
}

}  // namespace kelvo
