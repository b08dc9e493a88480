#include "cycle/service_status.hpp"

#include <optional>
#include <string>
#include <utility>

#include "common/local_stamp.hpp"
#include "common/text.hpp"

namespace kelvo {

namespace {

std::string activity_piece(const ShellState& state) {
  const std::optional<ActivityEdge>& last = state.session.activity.last;
  if (!last) return "busy (no report yet)";
  return fill("{} since {}",
              {last->activity == Activity::Busy ? "busy" : "idle", local_time_of_day(last->since)});
}

std::string nudge_piece(const ShellState& state) {
  const PacingMachine& machine = state.session.machine;
  const Attention& attention = state.session.attention;
  switch (pacing_of(state)) {
    case Pacing::Blocked:
      return "blocked on a human since " + local_hour_minute(attention.blocked->since);
    case Pacing::Paused:
      return "paused by the operator";
    case Pacing::Held:
      return fill("no nudge: delay {}m held for the next idle stretch",
                  {std::to_string(*machine.held_delay)});
    case Pacing::Unresponsive:
      return fill("unresponsive: {} nudges since {}", {std::to_string(attention.stretch_nudges),
                                                       local_hour_minute(*machine.idle_since)});
    case Pacing::Nudging:
    case Pacing::Waiting:
      return "next nudge " + local_time_of_day(*machine.timer);
    case Pacing::Busy:
      break;
  }
  return "no nudge while busy";
}

std::string board_piece(const StretchBoard& board) {
  std::string piece = "board " + board.id;
  for (const Checkpoint& checkpoint : board.checkpoints) {
    piece += " :" + std::to_string(checkpoint.sub);
  }
  return piece;
}

std::string classes_piece(const ClassRegistry& registry) {
  const std::size_t count = registry.size();
  return std::to_string(count) + (count == 1 ? " class" : " classes");
}

std::string host_piece(const HostHealth& health) {
  if (!health.failing_since) return "host calls ok";
  return "host calls failing since " + local_time_of_day(*health.failing_since);
}

}  // namespace

std::string service_status(const RunSettings& run, const ShellState& state) {
  // The owner comes from the command line as any bytes; a line break in it would end the
  // STATUS assignment and start another.
  const std::string owner = run.owner ? escape_controls(*run.owner) : "no owner";
  return fill("{}: {}; {}; {}; {}; {}",
              {owner, activity_piece(state), nudge_piece(state), board_piece(state.session.board),
               classes_piece(state.owner_state.registry), host_piece(state.session.host_health)});
}

}  // namespace kelvo
