#include "cycle/service_status.hpp"

#include <optional>
#include <string>
#include <utility>

#include "board/local_stamp.hpp"
#include "common/text.hpp"

namespace kelvo {

namespace {

std::string activity_piece(const ShellContext& context) {
  const std::optional<ActivityEdge> last =
      context.polled ? context.polled->activity.last : std::nullopt;
  if (!last) return "busy (no report yet)";
  return fill("{} since {}",
              {last->activity == Activity::Busy ? "busy" : "idle", local_time_of_day(last->since)});
}

std::string nudge_piece(const ShellContext& context) {
  const PacingMachine& machine = context.machine;
  const Attention& attention = context.attention;
  switch (pacing_of(context)) {
    case Pacing::Blocked:
      return "blocked on a human since " + local_hour_minute(attention.blocked->since);
    case Pacing::Paused:
      return "paused by the operator";
    case Pacing::Held:
      return fill("no nudge: delay {}m held for the next idle stretch",
                  {std::to_string(*machine.held_delay)});
    case Pacing::Unresponsive:
      return fill("unresponsive: {} nudges since {}", {std::to_string(attention.stretch_nudges),
                                                       local_hour_minute(*attention.stretch)});
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

std::string service_status(const ShellContext& context) {
  // The owner comes from the command line as any bytes; a line break in it would end the
  // STATUS assignment and start another.
  const std::string owner = context.owner ? escape_controls(*context.owner) : "no owner";
  return fill("{}: {}; {}; {}; {}; {}",
              {owner, activity_piece(context), nudge_piece(context), board_piece(context.board),
               classes_piece(context.owner_state.registry), host_piece(context.host_health)});
}

}  // namespace kelvo
