#include "main/cycle.hpp"

#include <optional>
#include <string>

#include "common/console.hpp"
#include "cycle/cycle_steps.hpp"
#include "main/host_cli.hpp"
#include "main/outbox_delivery.hpp"

namespace kelvo {

namespace {

void report_hook_lines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) report(Urgency::Warning, line);
}

}  // namespace

void end_run(LoopEffects& effects) { report_hook_lines(effects.events.drain(EVENT_DRAIN_AT_MOST)); }

CycleEnd run_cycle(ShellContext& context, LoopEffects& effects, WallTime now) {
  Outbox outbox;
  PollReading reading;
  if (context.polled) {
    const HostOutput polled = poll(effects.host, context.polled->shell_id, context.link);
    reading = read_poll(context, polled, now, outbox);
    carry_out(context, effects, outbox);
    if (reading.superseded) return CycleEnd::Superseded;
  }

  std::optional<std::string> digest_text;
  if (needs_digest(context, reading)) digest_text = fetch_digest(effects.host, *context.owner);
  read_codes(context, reading, digest_text, now, outbox);
  carry_out(context, effects, outbox);

  if (context.polled) {
    const HostOutput activity = drive_poll(effects.host, context.polled->shell_id, context.link);
    read_activity(context, activity, reading, now, outbox);
    carry_out(context, effects, outbox);
  }

  judge_nudge(context, now, outbox);
  carry_out(context, effects, outbox);
  // The hook runs beside the loop: this only reaps, starts and times it out.
  report_hook_lines(effects.events.service(now));
  return CycleEnd::Continue;
}

}  // namespace kelvo
