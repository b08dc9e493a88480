#include "cycle/cycle_steps.hpp"

#include <variant>

#include "board/board_message.hpp"
#include "common/local_stamp.hpp"
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
bool read_poll_line(const RunSettings& run, ShellState& state, std::string_view line, WallTime now,
                    PollReading& reading, Outbox& outbox) {
  const PollLine sorted = sort_poll_line(line, run.frame_key);
  if (std::holds_alternative<BoundaryLine>(sorted)) {
    ++state.counters.boundaries;
    return true;
  }
  if (std::holds_alternative<RefusedBoundaryLine>(sorted)) {
    ++state.counters.refused;
  } else if (const auto* io = std::get_if<IoFrame>(&sorted)) {
    count_io_frame(state.counters, *io, reading);
  } else if (const auto* command = std::get_if<ShellCommand>(&sorted)) {
    act_on_command(run, state, *command, now, outbox);
  }
  return false;
}

// The line that ends a run whose link the host refused, naming what a person can do.
std::string refused_line(const std::string& shell_id, EndCause cause,
                         const std::string& new_holder) {
  const std::string id = escape_controls(shell_id);
  switch (cause) {
    case EndCause::TakenOver:
      return fill(
          "link no longer held by {} — taken over by shell {}, which paces the agent now; exiting",
          {id, escape_controls(new_holder)});
    case EndCause::Revoked:
      return fill(
          "link no longer held by {} — the host says it was revoked; make a new link to pace "
          "the agent again; exiting",
          {id});
    case EndCause::Stopped:
    case EndCause::Superseded:
      break;
  }
  return fill("link no longer held by {} — superseded, exiting", {id});
}

void end_run(const RunSettings& run, ShellState& state, EndCause cause, std::string line,
             WallTime now, Outbox& outbox) {
  outbox.effects.emplace_back(ConsoleLine{Urgency::Notice, line});
  ShellEvent event = event_at(run, state, ShellEventKind::Ending, now, line);
  event.cause = cause;
  outbox.effects.emplace_back(std::move(event));
  state.ended = RunEnd{cause, std::move(line)};
}

// A quiet stretch of `idle_for` ended at `resumed_at`: record the resume and show the board.
void show_board(const RunSettings& run, ShellState& state, Millis idle_for, WallTime resumed_at,
                WallTime now, Outbox& outbox) {
  record_resume(state.session.board, resumed_at);
  std::optional<std::string> path_text;
  if (run.state_path) path_text = run.state_path->string();
  reply(run,
        board_message(idle_for, local_stamp_at(now), state.session.board, *run.shell_id,
                      state.owner_state.registry, path_text),
        outbox);
}

// The counts of one idle stretch start again with every stretch the machine begins or ends.
void begin_stretch_counts(Attention& attention) {
  attention.stretch_nudges = 0;
  attention.unanswered_nudges = 0;
  attention.unresponsive = false;
}

void follow_edge(const RunSettings& run, ShellState& state, const ActivityEdge& edge,
                 const PollReading& reading, bool checking_restore, WallTime now, Outbox& outbox) {
  PacingMachine& machine = state.session.machine;
  Attention& attention = state.session.attention;
  const std::optional<WallTime> stretch = machine.idle_since;
  const bool newer_idle_stretch = edge.activity == Activity::Idle &&
                                  machine.activity == Activity::Idle && stretch &&
                                  *stretch < edge.since;
  const bool back_at_work = edge.activity == Activity::Busy && machine.activity == Activity::Idle;
  // A newer idle stretch means the agent worked in between, too briefly for the shell to see.
  if ((back_at_work || newer_idle_stretch) && attention.awaiting_resume) {
    attention.awaiting_resume = false;
    outbox.effects.emplace_back(event_at(run, state, ShellEventKind::Resumed, now, ""));
  }
  auto idle_for = on_activity(machine, edge);
  if (machine.idle_since != stretch) begin_stretch_counts(attention);
  if (newer_idle_stretch && reading.verdict) {
    static_cast<void>(apply_codes(machine, {*reading.verdict}, now));
  }
  // After a restart the shell may have missed the return to work itself: the stretch it
  // remembers ended when the newer one began.
  if (newer_idle_stretch && checking_restore) idle_for = edge.since - *stretch;
  if (idle_for && *idle_for >= BOARD_QUIET_MIN && run.owner) {
    show_board(run, state, *idle_for, edge.since, now, outbox);
  }
}

void follow_health(const RunSettings& run, ShellState& state,
                   std::optional<std::string> host_failure, WallTime now, Outbox& outbox) {
  HostHealth& health = state.session.host_health;
  auto news = follow_host_health(health, host_failure, now);
  if (!news) return;
  const bool recovered = news->kind == HostHealthNews::Kind::Recovered;
  outbox.effects.emplace_back(
      ConsoleLine{recovered ? Urgency::Notice : Urgency::Warning, news->line});
  if (news->kind == HostHealthNews::Kind::StillFailing) return;
  outbox.effects.emplace_back(
      event_at(run, state, recovered ? ShellEventKind::HostRecovered : ShellEventKind::HostFailing,
               now, recovered ? news->line : health.last_failure));
}

// A `!!done!!` of this cycle that still holds the latch down once the activity edges are in:
// told with the stretch it holds. One whose stretch a busy edge ended is not told at all.
void tell_blocked(const RunSettings& run, ShellState& state, WallTime now, Outbox& outbox) {
  Attention& attention = state.session.attention;
  auto& blocked = attention.blocked;
  if (state.session.machine.latch == Latch::Raised) blocked.reset();
  if (!blocked || blocked->told) return;
  blocked->told = true;
  attention.awaiting_resume = true;
  outbox.effects.emplace_back(event_at(run, state, ShellEventKind::Blocked, now, blocked->detail));
}

void remind_blocked(const RunSettings& run, ShellState& state, WallTime now, Outbox& outbox) {
  auto& blocked = state.session.attention.blocked;
  if (!blocked || elapsed_between(blocked->last_told, now) < BLOCKED_REMINDER_EVERY) return;
  blocked->last_told = now;
  ShellEvent event = event_at(run, state, ShellEventKind::Blocked, now, blocked->detail);
  event.reminder = ++blocked->reminders;
  outbox.effects.emplace_back(std::move(event));
}

// Another nudge is due: when the stretch's Nth nudge since the agent last answered has gone
// unanswered until now, the stretch is told as unresponsive.
void judge_unanswered(const RunSettings& run, ShellState& state, WallTime now, Outbox& outbox) {
  Attention& attention = state.session.attention;
  if (run.unresponsive_after == 0 || attention.unresponsive ||
      attention.unanswered_nudges < run.unresponsive_after) {
    return;
  }
  attention.unresponsive = true;
  attention.awaiting_resume = true;
  outbox.effects.emplace_back(
      event_at(run, state, ShellEventKind::Unresponsive, now,
               fill("{} nudges without an answer", {std::to_string(attention.unanswered_nudges)})));
}

void count_nudge(Attention& attention) {
  ++attention.stretch_nudges;
  ++attention.unanswered_nudges;
  ++attention.total_nudges;
}

}  // namespace

PollReading read_poll(const RunSettings& run, ShellState& state, const HostOutput& poll_output,
                      WallTime now, Outbox& outbox) {
  PollReading reading;
  if (is_refused(poll_output)) {
    if (++state.refusal_streak >= REFUSALS_TO_SUPERSEDE) {
      std::string new_holder;
      const EndCause cause = refusal_cause(poll_output, &new_holder);
      end_run(run, state, cause, refused_line(*run.shell_id, cause, new_holder), now, outbox);
      reading.superseded = true;
      return reading;
    }
  } else {
    state.refusal_streak = 0;
    if (poll_output.failure) reading.host_failure = "poll " + *poll_output.failure;
  }
  bool boundary_seen = false;
  for (const std::string_view line : split_lines(poll_output.out)) {
    if (trim(line).empty()) continue;
    boundary_seen = read_poll_line(run, state, line, now, reading, outbox) || boundary_seen;
  }
  if (boundary_seen) reply(run, intro_message(run.shell_id), outbox);
  return reading;
}

bool needs_digest(const RunSettings& run, const PollReading& reading) {
  return !reading.pending_seqs.empty() && run.owner.has_value();
}

void read_codes(const RunSettings& run, ShellState& state, PollReading& reading,
                std::optional<std::string_view> digest_text, WallTime now, Outbox& outbox) {
  if (digest_text) follow_up_digest(state, *digest_text, reading);
  reading.verdict = act_on_codes(run, state, reading, now, outbox);
  if (state.session.machine.latch == Latch::Raised) state.session.attention.blocked.reset();
}

void read_activity(const RunSettings& run, ShellState& state, const HostOutput& drive_poll_output,
                   const PollReading& reading, WallTime now, Outbox& outbox) {
  std::optional<std::string> host_failure = reading.host_failure;
  if (drive_poll_output.failure && !is_refused(drive_poll_output) && !host_failure) {
    host_failure = "drive-poll " + *drive_poll_output.failure;
  }
  // A failing send path keeps the host failing until a send succeeds.
  if (!host_failure) host_failure = state.send_failure;
  const bool checking_restore = state.restored_unchecked && !drive_poll_output.failure;
  if (checking_restore) state.restored_unchecked = false;
  for (const ActivityEdge& edge : follow_activity(state.session.activity, drive_poll_output.out)) {
    follow_edge(run, state, edge, reading, checking_restore, now, outbox);
  }
  tell_blocked(run, state, now, outbox);
  follow_health(run, state, std::move(host_failure), now, outbox);
}

void judge_nudge(const RunSettings& run, ShellState& state, WallTime now, Outbox& outbox) {
  remind_blocked(run, state, now, outbox);
  const auto idle_for = tick(state.session.machine, now);
  if (!idle_for || !run.owner) return;
  outbox.effects.emplace_back(Message{SendFlags::IdleEphemeral, run.shell_id,
                                      nudge_message(*idle_for, local_stamp_at(now))});
  judge_unanswered(run, state, now, outbox);
  count_nudge(state.session.attention);
}

void follow_delivery(ShellState& state, const Delivery& delivery) {
  if (delivery.last_send == Delivery::Send::Failed) state.send_failure = delivery.send_failure;
  if (delivery.last_send == Delivery::Send::Succeeded) state.send_failure.reset();
  if (delivery.state_file_settled) state.owner_file_unreadable = false;
  if (delivery.hook) state.hook = *delivery.hook;
}

void stop_run(const RunSettings& run, ShellState& state, std::string_view signal_name, WallTime now,
              Outbox& outbox) {
  end_run(run, state, EndCause::Stopped, fill("stopped by {}, exiting", {std::string(signal_name)}),
          now, outbox);
}

}  // namespace kelvo
