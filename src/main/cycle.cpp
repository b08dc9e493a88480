#include "main/cycle.hpp"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/console.hpp"
#include "common/text.hpp"
#include "digest/inline_code.hpp"
#include "main/cycle_follow_ups.hpp"
#include "main/host_cli.hpp"
#include "main/operator_commands.hpp"
#include "main/operator_messages.hpp"
#include "main/poll_line.hpp"

namespace kelvo {

namespace {

constexpr std::uint32_t kRefusalsToSupersede = 3;

// What one cycle gathers while it reads the poll.
struct CycleInputs {
  std::uint64_t now = 0;
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
  const PollLine sorted = sort_poll_line(line, context.settings.link);
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
bool poll_host(ShellContext& context, LoopEffects& effects, CycleInputs& cycle) {
  const std::string& shell_id = *context.settings.shell_id;
  const HostOutput output = poll(effects.host, shell_id, context.settings.link);
  if (is_refused(output)) {
    if (++context.refusal_streak >= kRefusalsToSupersede) {
      report(fill("link no longer held by {} — superseded, exiting", {shell_id}));
      return false;
    }
  } else {
    context.refusal_streak = 0;
  }
  for (const std::string_view line : split_lines(output.out)) {
    if (!trim(line).empty()) read_poll_line(context, effects, line, cycle);
  }
  return true;
}

void apply_cycle_codes(ShellContext& context, const CycleInputs& cycle) {
  if (cycle.codes.empty()) return;
  context.counters.codes += cycle.codes.size();
  const CodeOutcome outcome = apply_codes(context.machine, cycle.codes, cycle.now);
  follow_through_codes(context, outcome, cycle.now);
}

void follow_activity_edges(ShellContext& context, LoopEffects& effects) {
  if (!context.activity_source) return;
  const std::string output =
      drive_poll_output(effects.host, *context.settings.shell_id, context.settings.link);
  for (const ActivityEdge& edge : follow_activity(*context.activity_source, output)) {
    const auto idle_ms = on_activity(context.machine, edge.idle, edge.since);
    if (idle_ms && *idle_ms >= BOARD_QUIET_MIN_MS && context.settings.owner) {
      show_board(context, effects, *idle_ms, edge.since);
    }
  }
}

void nudge_when_due(ShellContext& context, LoopEffects& effects, std::uint64_t now) {
  const auto idle_for = tick(context.machine, now);
  if (!idle_for || !context.settings.owner) return;
  send(effects.host, *context.settings.owner, SendFlags::IdleEphemeral, context.settings.shell_id,
       nudge_message(*idle_for, effects.clock.local_stamp()));
}

}  // namespace

CycleEnd run_cycle(ShellContext& context, LoopEffects& effects) {
  CycleInputs cycle;
  cycle.now = effects.clock.now_ms();
  if (context.settings.shell_id && !poll_host(context, effects, cycle)) return CycleEnd::Superseded;
  const auto& owner = context.settings.owner;
  if (cycle.boundary_seen && owner) {
    send(effects.host, *owner, SendFlags::ActiveOnly, context.settings.shell_id, intro_message());
  }
  follow_up_digest(context, effects, cycle.pending_seqs, cycle.codes);
  apply_cycle_codes(context, cycle);
  follow_activity_edges(context, effects);
  nudge_when_due(context, effects, cycle.now);
  return CycleEnd::Continue;
}

}  // namespace kelvo
