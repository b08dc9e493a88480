#include "cycle/operator_commands.hpp"

#include <type_traits>
#include <variant>

#include "board/board_message.hpp"
#include "cycle/operator_messages.hpp"
#include "state/class_registry.hpp"

namespace kelvo {

namespace {

void pause_or_delay(Session& session, const PauseCommand& command, WallTime now) {
  apply_pause(session.machine, command.minutes, now);
  if (command.minutes) mark_checkpoint(session.board, now);
  // A pause is the operator's, even over the agent's `!!done!!`.
  if (!command.minutes) session.attention.blocked.reset();
}

void classify_by_operator(const RunSettings& run, ShellState& state, const ClassifyCommand& command,
                          WallTime now, Outbox& outbox) {
  Session& session = state.session;
  const auto done =
      classify_checkpoint(session.board, state.owner_state, command.designator, command.class_name,
                          now, draw_stretch_id(session.stretch_ids, now));
  if (!done) {
    reply(run, refusal_text("classify", done.failure().reason), outbox);
    return;
  }
  save(run, state, now, outbox);
}

void retire_classes(const RunSettings& run, ShellState& state, const RetireCommand& command,
                    WallTime now, Outbox& outbox) {
  const RetireOutcome outcome = retire(state.owner_state, command.names);
  if (outcome.retired.empty()) {
    reply(run, refusal_text("retire", retire_refusal_reason(outcome.missing)), outbox);
    return;
  }
  save(run, state, now, outbox);
  reply(run, retire_reply(outcome), outbox);
}

}  // namespace

std::string status_reply(const ShellState& state, WallTime now) {
  return status(state.session.machine, now) + board_status_line(state.session.board) +
         registry_summary(state.owner_state) + std::string(VERSION_SUFFIX) +
         io_summary(state.counters);
}

void act_on_command(const RunSettings& run, ShellState& state, const ShellCommand& command,
                    WallTime now, Outbox& outbox) {
  std::visit(
      [&](const auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, PauseCommand>) {
          pause_or_delay(state.session, c, now);
        } else if constexpr (std::is_same_v<C, ClassifyCommand>) {
          classify_by_operator(run, state, c, now, outbox);
        } else if constexpr (std::is_same_v<C, StatusCommand>) {
          reply(run, status_reply(state, now), outbox);
        } else if constexpr (std::is_same_v<C, RetireCommand>) {
          retire_classes(run, state, c, now, outbox);
        } else {
          static_assert(std::is_same_v<C, RefusedCommand>);
          reply(run, refusal_text(c.op, c.message), outbox);
        }
      },
      command);
}

}  // namespace kelvo
