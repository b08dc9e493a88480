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

void count_io_frame(RunCounters& counters, const IoFrame& frame, PollReading& reading) {
  ++counters.frames;
  ++counters.kinds[frame.kind];
  if (frame.kind != "AGENT_OUTPUT") return;
  ++counters.agent_outputs;
  if (!frame.truncated) {
    take_codes(reading, frame.text);
  } else if (frame.seq) {
    ++counters.truncated_followed;
    reading.pending_seqs.push_back(*frame.seq);
  } else {
    ++counters.truncated_blind;
    take_codes(reading, frame.text);
  }
}

// Sorts one poll line (see sort_poll_line) and acts on what it is; true for a boundary.
bool read_poll_line(ShellContext& context, std::string_view line, WallTime now,
                    PollReading& reading, Outbox& outbox) {
  const PollLine sorted = sort_poll_line(line, context.frame_key);
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

void follow_edge(ShellContext& context, const ActivityEdge& edge, const PollReading& reading,
                 WallTime now, Outbox& outbox) {
  const PacingMachine& machine = context.machine;
  const bool newer_idle_stretch = edge.activity == Activity::Idle &&
                                  machine.activity == Activity::Idle && machine.idle_since &&
                                  *machine.idle_since < edge.since;
  const bool back_at_work = edge.activity == Activity::Busy && machine.activity == Activity::Idle;
  if (back_at_work && context.attention.awaiting_resume) {
    context.attention.awaiting_resume = false;
    outbox.effects.emplace_back(event_at(context, ShellEventKind::Resumed, now, ""));
  }
  const auto idle_for = on_activity(context.machine, edge);
  if (newer_idle_stretch && reading.verdict) {
    static_cast<void>(apply_codes(context.machine, {*reading.verdict}, now));
  }
  if (idle_for && *idle_for >= BOARD_QUIET_MIN && context.owner) {
    show_board(context, *idle_for, edge.since, now, outbox);
  }
}

void follow_health(ShellContext& context, std::optional<std::string> host_failure, WallTime now,
                   Outbox& outbox) {
  auto news = follow_host_health(context.host_health, host_failure, now);
  if (!news) return;
  const bool recovered = news->kind == HostHealthNews::Kind::Recovered;
  outbox.effects.emplace_back(
      ConsoleLine{recovered ? Urgency::Notice : Urgency::Warning, news->line});
  if (news->kind == HostHealthNews::Kind::StillFailing) return;
  outbox.effects.emplace_back(
      event_at(context, recovered ? ShellEventKind::HostRecovered : ShellEventKind::HostFailing,
               now, recovered ? news->line : context.host_health.last_failure));
}

// A `!!done!!` of this cycle that still holds the latch down once the activity edges are in:
// told with the stretch it holds. One whose stretch a busy edge ended is not told at all.
void tell_blocked(ShellContext& context, WallTime now, Outbox& outbox) {
  auto& blocked = context.attention.blocked;
  if (context.machine.latch == Latch::Raised) blocked.reset();
  if (!blocked || blocked->told) return;
  blocked->told = true;
  context.attention.awaiting_resume = true;
  outbox.effects.emplace_back(event_at(context, ShellEventKind::Blocked, now, blocked->detail));
}

void remind_blocked(ShellContext& context, WallTime now, Outbox& outbox) {
  auto& blocked = context.attention.blocked;
  if (!blocked || elapsed_between(blocked->last_told, now) < BLOCKED_REMINDER_EVERY) return;
  blocked->last_told = now;
  ShellEvent event = event_at(context, ShellEventKind::Blocked, now, blocked->detail);
  event.reminder = ++blocked->reminders;
  outbox.effects.emplace_back(std::move(event));
}

// One more nudge of the current idle stretch; the Nth without an answer makes it unresponsive.
void count_nudge(ShellContext& context, WallTime now, Outbox& outbox) {
  Attention& attention = context.attention;
  if (attention.stretch != context.machine.idle_since) {
    attention.stretch = context.machine.idle_since;
    attention.stretch_nudges = 0;
    attention.unanswered_nudges = 0;
    attention.unresponsive = false;
  }
  ++attention.stretch_nudges;
  ++attention.unanswered_nudges;
  ++attention.total_nudges;
  if (context.unresponsive_after == 0 || attention.unresponsive ||
      attention.unanswered_nudges != context.unresponsive_after) {
    return;
  }
  attention.unresponsive = true;
  attention.awaiting_resume = true;
  outbox.effects.emplace_back(
      event_at(context, ShellEventKind::Unresponsive, now,
               fill("{} nudges without an answer", {std::to_string(attention.unanswered_nudges)})));
}

}  // namespace

PollReading read_poll(ShellContext& context, const HostOutput& poll_output, WallTime now,
                      Outbox& outbox) {
  PollReading reading;
  PolledShell& polled = *context.polled;
  if (is_refused(poll_output)) {
    if (++polled.refusal_streak >= REFUSALS_TO_SUPERSEDE) {
      std::string line = fill("link no longer held by {} — superseded, exiting", {polled.shell_id});
      outbox.effects.emplace_back(ConsoleLine{Urgency::Notice, line});
      outbox.effects.emplace_back(event_at(context, ShellEventKind::Ending, now, line));
      context.ended_with = std::move(line);
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
  if (boundary_seen) reply(context, intro_message(sender(context)), outbox);
  return reading;
}

bool needs_digest(const ShellContext& context, const PollReading& reading) {
  return !reading.pending_seqs.empty() && context.owner.has_value();
}

void read_codes(ShellContext& context, PollReading& reading,
                std::optional<std::string_view> digest_text, WallTime now, Outbox& outbox) {
  if (digest_text) follow_up_digest(context, *digest_text, reading);
  reading.verdict = act_on_codes(context, reading, now, outbox);
  if (context.machine.latch == Latch::Raised) context.attention.blocked.reset();
}

void read_activity(ShellContext& context, const HostOutput& drive_poll_output,
                   const PollReading& reading, WallTime now, Outbox& outbox) {
  std::optional<std::string> host_failure = reading.host_failure;
  if (drive_poll_output.failure && !is_refused(drive_poll_output) && !host_failure) {
    host_failure = "drive-poll " + *drive_poll_output.failure;
  }
  // A failing send path keeps the host failing until a send succeeds.
  if (!host_failure) host_failure = context.send_failure;
  for (const ActivityEdge& edge :
       follow_activity(context.polled->activity, drive_poll_output.out)) {
    follow_edge(context, edge, reading, now, outbox);
  }
  tell_blocked(context, now, outbox);
  follow_health(context, std::move(host_failure), now, outbox);
}

void judge_nudge(ShellContext& context, WallTime now, Outbox& outbox) {
  remind_blocked(context, now, outbox);
  const auto idle_for = tick(context.machine, now);
  if (!idle_for || !context.owner) return;
  outbox.effects.emplace_back(Message{SendFlags::IdleEphemeral, sender(context),
                                      nudge_message(*idle_for, local_stamp_at(now))});
  count_nudge(context, now, outbox);
}

}  // namespace kelvo
