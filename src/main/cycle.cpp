#include "main/cycle.hpp"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "board/board_message.hpp"
#include "common/console.hpp"
#include "common/text.hpp"
#include "digest/inline_code.hpp"
#include "main/cycle_codes.hpp"
#include "main/host_cli.hpp"
#include "main/operator_commands.hpp"
#include "main/operator_messages.hpp"
#include "main/poll_line.hpp"

namespace kelvo {

namespace {

constexpr std::uint32_t kRefusalsToSupersede = 3;

// What one cycle gathers while it reads the poll.
struct CycleInputs {
  WallTime now;
  std::optional<std::string> host_failure;  // the cycle's first failed poll or drive-poll
  std::vector<InlineCode> codes;
  std::vector<std::uint64_t> pending_seqs;
  bool boundary_seen = false;
};

void append_codes(std::vector<InlineCode>& codes, std::string_view text) {
  const auto found = scan_inline_codes(text);
  codes.insert(codes.end(), found.begin(), found.end());
}

void count_io_frame(RunCounters& counters, const IoFrame& frame, CycleInputs& cycle) {
  ++counters.frames;
  ++counters.kinds[frame.kind];
  if (frame.kind != "AGENT_OUTPUT") return;
  ++counters.agent_outputs;
  if (!frame.truncated) {
    append_codes(cycle.codes, frame.text);
  } else if (frame.seq) {
    ++counters.truncated_followed;
    cycle.pending_seqs.push_back(*frame.seq);
  } else {
    ++counters.truncated_blind;
    append_codes(cycle.codes, frame.text);
  }
}

// Sorts one poll line (see sort_poll_line) and acts on what it is.
void read_poll_line(ShellContext& context, LoopEffects& effects, std::string_view line,
                    CycleInputs& cycle) {
  const PollLine sorted = sort_poll_line(line, context.frame_key);
  if (std::holds_alternative<BoundaryLine>(sorted)) {
    ++context.counters.boundaries;
    cycle.boundary_seen = true;
  } else if (std::holds_alternative<RefusedBoundaryLine>(sorted)) {
    ++context.counters.refused;
  } else if (const auto* io = std::get_if<IoFrame>(&sorted)) {
    count_io_frame(context.counters, *io, cycle);
  } else if (const auto* command = std::get_if<ShellCommand>(&sorted)) {
    act_on_command(context, effects, *command, cycle.now);
  }
}

// Polls and reads the lines; false when the poll makes the shell superseded.
bool poll_host(ShellContext& context, PolledShell& polled, LoopEffects& effects,
               CycleInputs& cycle) {
  const HostOutput output = poll(effects.host, polled.shell_id, context.link);
  if (is_refused(output)) {
    if (++polled.refusal_streak >= kRefusalsToSupersede) {
      report(fill("link no longer held by {} — superseded, exiting", {polled.shell_id}));
      return false;
    }
  } else {
    polled.refusal_streak = 0;
    if (output.failure) cycle.host_failure = "poll " + *output.failure;
  }
  for (const std::string_view line : split_lines(output.out)) {
    if (!trim(line).empty()) read_poll_line(context, effects, line, cycle);
  }
  return true;
}

// A quiet stretch of `idle_for` ended at `resumed_at`: record the resume and show the board.
void show_board(ShellContext& context, const PolledShell& polled, LoopEffects& effects,
                Millis idle_for, WallTime resumed_at) {
  record_resume(context.board, resumed_at);
  std::optional<std::string> path_text;
  if (context.state_file) path_text = context.state_file->path.string();
  reply(effects.host, context.owner, polled.shell_id,
        board_message(idle_for, effects.clock.local_stamp(), context.board, polled.shell_id,
                      context.owner_state.registry, path_text));
}

void follow_activity_edges(ShellContext& context, PolledShell& polled, LoopEffects& effects,
                           CycleInputs& cycle) {
  const HostOutput output = drive_poll(effects.host, polled.shell_id, context.link);
  if (output.failure && !is_refused(output) && !cycle.host_failure) {
    cycle.host_failure = "drive-poll " + *output.failure;
  }
  for (const ActivityEdge& edge : follow_activity(polled.activity, output.out)) {
    const auto idle_for = on_activity(context.machine, edge);
    if (idle_for && *idle_for >= BOARD_QUIET_MIN && context.owner) {
      show_board(context, polled, effects, *idle_for, edge.since);
    }
  }
}

void nudge_when_due(ShellContext& context, LoopEffects& effects, WallTime now) {
  const auto idle_for = tick(context.machine, now);
  if (!idle_for || !context.owner) return;
  send(effects.host, *context.owner, SendFlags::IdleEphemeral, sender(context),
       nudge_message(*idle_for, effects.clock.local_stamp()));
}

}  // namespace

CycleEnd run_cycle(ShellContext& context, LoopEffects& effects) {
  CycleInputs cycle;
  cycle.now = effects.clock.now();
  if (context.polled && !poll_host(context, *context.polled, effects, cycle)) {
    return CycleEnd::Superseded;
  }
  if (cycle.boundary_seen) reply(effects.host, context.owner, sender(context), intro_message());
  follow_up_digest(context, effects, cycle.pending_seqs, cycle.codes);
  act_on_codes(context, cycle.codes, cycle.now);
  if (context.polled) {
    follow_activity_edges(context, *context.polled, effects, cycle);
    const auto health = follow_host_health(context.host_health, cycle.host_failure, cycle.now);
    if (health) report(*health);
  }
  nudge_when_due(context, effects, cycle.now);
  return CycleEnd::Continue;
}

}  // namespace kelvo
