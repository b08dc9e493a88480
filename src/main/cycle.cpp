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

void deliver(const Run& run, ShellState& state, LoopEffects& effects, Outbox& outbox) {
  follow_delivery(state, carry_out(run, state, effects, outbox));
}

void follow_hook(ShellState& state, LoopEffects& effects) {
  Delivery delivery;
  delivery.hook = effects.events.health();
  follow_delivery(state, delivery);
}

}  // namespace

CycleEnd run_cycle(const Run& run, ShellState& state, LoopEffects& effects, WallTime now) {
  const RunSettings& settings = run.settings;
  const auto stopped = [&] { return effects.stop.requested().has_value(); };
  Outbox outbox;
  PollReading reading;
  if (settings.shell_id) {
    const HostOutput polled = poll(effects.host, *settings.shell_id, run.link);
    if (stopped()) return CycleEnd::Stopped;
    reading = read_poll(settings, state, polled, now, outbox);
    deliver(run, state, effects, outbox);
    if (reading.superseded) return CycleEnd::Ended;
  }

  std::optional<std::string> digest_text;
  if (needs_digest(settings, reading) && !stopped()) {
    digest_text = fetch_digest(effects.host, *settings.owner);
  }
  if (stopped()) return CycleEnd::Stopped;
  read_codes(settings, state, reading, digest_text, now, outbox);
  deliver(run, state, effects, outbox);

  if (settings.shell_id && !stopped()) {
    const HostOutput activity = drive_poll(effects.host, *settings.shell_id, run.link);
    if (stopped()) return CycleEnd::Stopped;
    read_activity(settings, state, activity, reading, now, outbox);
    deliver(run, state, effects, outbox);
  }

  if (stopped()) return CycleEnd::Stopped;
  judge_nudge(settings, state, now, outbox);
  deliver(run, state, effects, outbox);
  // The hook runs beside the loop: this only reaps, starts and times it out.
  report_hook_lines(effects.events.service(now));
  follow_hook(state, effects);
  return stopped() ? CycleEnd::Stopped : CycleEnd::Continue;
}

void tell_stop(const Run& run, ShellState& state, LoopEffects& effects, WallTime now) {
  const auto signal = effects.stop.requested();
  if (!signal || state.ended) return;
  Outbox outbox;
  stop_run(run.settings, state, *signal, now, outbox);
  deliver(run, state, effects, outbox);
}

void drain_hooks(ShellState& state, LoopEffects& effects) {
  report_hook_lines(effects.events.drain(EVENT_DRAIN_AT_MOST));
  follow_hook(state, effects);
}

}  // namespace kelvo
