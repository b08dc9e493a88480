#include "main/operator_commands.hpp"

#include <type_traits>
#include <variant>

#include "board/board_message.hpp"
#include "main/host_cli.hpp"
#include "main/new_stretch_id.hpp"
#include "main/operator_messages.hpp"
#include "state/class_registry.hpp"

namespace kelvo {

namespace {

void answer(ShellContext& context, LoopEffects& effects, const std::string& text) {
  reply(effects.host, context.owner, sender(context), text);
}

void pause_or_delay(ShellContext& context, const PauseCommand& command, WallTime now) {
  apply_pause(context.machine, command.minutes, now);
  if (command.minutes) mark_checkpoint(context.board, now);
}

void classify_by_operator(ShellContext& context, LoopEffects& effects,
                          const ClassifyCommand& command, WallTime now) {
  const auto done = classify_checkpoint(context.board, context.owner_state, command.designator,
                                        command.class_name, now, new_stretch_id());
  if (!done) {
    answer(context, effects, refusal_text("classify", done.failure().reason));
    return;
  }
  save_owner_state(context, now);
}

void retire_classes(ShellContext& context, LoopEffects& effects, const RetireCommand& command,
                    WallTime now) {
  const RetireOutcome outcome = retire(context.owner_state, command.names);
  if (outcome.retired.empty()) {
    answer(context, effects, refusal_text("retire", retire_refusal_reason(outcome.missing)));
    return;
  }
  save_owner_state(context, now);
  answer(context, effects, retire_reply(outcome));
}

}  // namespace

std::string status_reply(const ShellContext& context, WallTime now) {
  return status(context.machine, now) + board_status_line(context.board) +
         registry_summary(context.owner_state) + std::string(VERSION_SUFFIX) +
         io_summary(context.counters);
}

void act_on_command(ShellContext& context, LoopEffects& effects, const ShellCommand& command,
                    WallTime now) {
  std::visit(
      [&](const auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, PauseCommand>) {
          pause_or_delay(context, c, now);
        } else if constexpr (std::is_same_v<C, ClassifyCommand>) {
          classify_by_operator(context, effects, c, now);
        } else if constexpr (std::is_same_v<C, StatusCommand>) {
          answer(context, effects, status_reply(context, now));
        } else if constexpr (std::is_same_v<C, RetireCommand>) {
          retire_classes(context, effects, c, now);
        } else {
          static_assert(std::is_same_v<C, RefusedCommand>);
          answer(context, effects, refusal_text(c.op, c.message));
        }
      },
      command);
}

}  // namespace kelvo
