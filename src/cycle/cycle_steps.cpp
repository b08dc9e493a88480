#include "cycle/cycle_steps.hpp"

#include <variant>

#include "board/board_message.hpp"
#include "board/local_stamp.hpp"
#include "common/text.hpp"
#include "cycle/codes.hpp"
#include "cycle/operator_commands.hpp"
#include "cycle/operator_messages.hpp"
#include "cycle/poll_line.hpp"
#include "machine/pacing_machine.hpp"

namespace kelvo {

namespace {

void append_codes(std::vector<InlineCode>& codes, std::string_view text) {
  const auto found = scan_inline_codes(text);
  codes.insert(codes.end(), found.begin(), found.end());
}

void count_io_frame(RunCounters& counters, const IoFrame& frame, PollReading& reading) {
  ++counters.frames;
  ++counters.kinds[frame.kind];
  if (frame.kind != "AGENT_OUTPUT") return;
  ++counters.agent_outputs;
  if (!frame.truncated) {
    append_codes(reading.codes, frame.text);
  } else if (frame.seq) {
    ++counters.truncated_followed;
    reading.pending_seqs.push_back(*frame.seq);
  } else {
    ++counters.truncated_blind;
    append_codes(reading.codes, frame.text);
  }
}

// Sorts one poll line (see sort_poll_line) and acts on what it is; true for a boundary.
bool read_poll_line(ShellContext& context, std::string_view line, WallTime now,
                    PollReading& reading, Outbox& outbox) {
  const PollLine sorted = sort_poll_line(line, context.link);
  if (std::holds_alternative<BoundaryLine>(sorted)) {
    ++context.counters.boundaries;
    return true;
  }
  if (std::holds_alternative<RefusedBoundaryLine>(sorted)) {
    ++context.counters.refused;
  } else if (const auto* io = std::get_if<IoFrame>(&sorted)) {
    count_io_frame(context.counters, *io, reading);
  } else if (const auto* command = std::get_if<ShellCommand>(&sorted)) {
    act_on_command(context, *command, now, outbox);
  }
  return false;
}

// A quiet stretch of `idle_for` ended at `resumed_at`: record the resume and show the board.
void show_board(ShellContext& context, Millis idle_for, WallTime resumed_at, WallTime now,
                Outbox& outbox) {
  record_resume(context.board, resumed_at);
  std::optional<std::string> path_text;
  if (context.state_file) path_text = context.state_file->path.string();
  reply(context,
        board_message(idle_for, local_stamp_at(now), context.board, context.polled->shell_id,
                      context.owner_state.registry, path_text),
        outbox);
}

}  // namespace

PollReading read_poll(ShellContext& context, const HostOutput& poll_output, WallTime now,
                      Outbox& outbox) {
  PollReading reading;
  PolledShell& polled = *context.polled;
  if (is_refused(poll_output)) {
    if (++polled.refusal_streak >= REFUSALS_TO_SUPERSEDE) {
      outbox.effects.emplace_back(
          ConsoleLine{Urgency::Notice,
                      fill("link no longer held by {} — superseded, exiting", {polled.shell_id})});
      reading.superseded = true;
      return reading;
    }
  } else {
    polled.refusal_streak = 0;
    if (poll_output.failure) reading.host_failure = "poll " + *poll_output.failure;
  }
  bool boundary_seen = false;
  for (const std::string_view line : split_lines(poll_output.out)) {
    if (trim(line).empty()) continue;
    boundary_seen = read_poll_line(context, line, now, reading, outbox) || boundary_seen;
  }
  if (boundary_seen) reply(context, intro_message(), outbox);
  return reading;
}

bool needs_digest(const ShellContext& context, const PollReading& reading) {
  return !reading.pending_seqs.empty() && context.owner.has_value();
}

void read_codes(ShellContext& context, PollReading& reading,
                std::optional<std::string_view> digest_text, WallTime now, Outbox& outbox) {
  if (digest_text) follow_up_digest(context, *digest_text, reading.pending_seqs, reading.codes);
  act_on_codes(context, reading.codes, now, outbox);
}

void read_activity(ShellContext& context, const HostOutput& drive_poll_output,
                   const PollReading& reading, WallTime now, Outbox& outbox) {
  std::optional<std::string> host_failure = reading.host_failure;
  if (drive_poll_output.failure && !is_refused(drive_poll_output) && !host_failure) {
    host_failure = "drive-poll " + *drive_poll_output.failure;
  }
  for (const ActivityEdge& edge :
       follow_activity(context.polled->activity, drive_poll_output.out)) {
    const auto idle_for = on_activity(context.machine, edge);
    if (idle_for && *idle_for >= BOARD_QUIET_MIN && context.owner) {
      show_board(context, *idle_for, edge.since, now, outbox);
    }
  }
  auto news = follow_host_health(context.host_health, host_failure, now);
  if (!news) return;
  const Urgency urgency =
      news->kind == HostHealthNews::Kind::Recovered ? Urgency::Notice : Urgency::Warning;
  outbox.effects.emplace_back(ConsoleLine{urgency, std::move(news->line)});
}

void judge_nudge(ShellContext& context, WallTime now, Outbox& outbox) {
  const auto idle_for = tick(context.machine, now);
  if (!idle_for || !context.owner) return;
  outbox.effects.emplace_back(Message{SendFlags::IdleEphemeral, sender(context),
                                      nudge_message(*idle_for, local_stamp_at(now))});
}

}  // namespace kelvo
