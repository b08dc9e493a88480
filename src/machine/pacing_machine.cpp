#include "machine/pacing_machine.hpp"

#include <algorithm>
#include <utility>

#include "common/agent_voice.hpp"
#include "common/text.hpp"

namespace kelvo {
namespace {

constexpr std::uint32_t MIN_DELAY_MINUTES = 1;
constexpr std::uint32_t MAX_DELAY_MINUTES = 120;
constexpr std::size_t LAST_STEP = BACKOFF_MS.size() - 1;

void begin_idle_stretch(PacingMachine& machine, WallTime since) {
  const std::optional<std::uint32_t> held = std::exchange(machine.held_delay, std::nullopt);
  machine.idle_since = since;
  if (machine.latch == Latch::Lowered) {
    machine.timer.reset();
    return;
  }
  machine.backoff_step = 0;
  machine.delay_armed = held.has_value();
  machine.timer = saturating_add(since, held ? minutes_to_millis(*held) : BACKOFF_MS[0]);
}

// Ends the idle stretch and gives its length, when its start is known and not after `since`.
std::optional<Millis> end_idle_stretch(PacingMachine& machine, WallTime since) {
  machine.activity = Activity::Busy;
  machine.timer.reset();
  machine.latch = Latch::Raised;
  machine.backoff_step = 0;
  machine.delay_armed = false;
  machine.held_delay.reset();
  const std::optional<WallTime> start = std::exchange(machine.idle_since, std::nullopt);
  if (!start || since < *start) return std::nullopt;
  return since - *start;
}

std::string idle_item(const PacingMachine& machine, WallTime now) {
  if (!machine.idle_since || now < *machine.idle_since) return "";
  return ", idle ~" + std::to_string(whole_seconds(now - *machine.idle_since).count()) + "s";
}

std::string held_item(const PacingMachine& machine) {
  if (!machine.held_delay) return "";
  return fill(" a delay of {}m is held for the next idle edge;",
              {std::to_string(*machine.held_delay)});
}

std::string timer_item(const PacingMachine& machine, WallTime now) {
  if (!machine.timer) return "off";
  if (now >= *machine.timer) return "armed, ping due now";
  // Rounded up without adding first, so a timer near the end of the range cannot overflow.
  const Millis left = *machine.timer - now;
  const Seconds seconds = std::chrono::ceil<Seconds>(left);
  return "armed, next ping in ~" + std::to_string(seconds.count()) + "s";
}

}  // namespace

std::optional<Millis> on_activity(PacingMachine& machine, const ActivityReport& edge) {
  const WallTime since = edge.since;
  if (edge.activity == Activity::Busy) {
    if (machine.activity == Activity::Busy) return std::nullopt;
    return end_idle_stretch(machine, since);
  }
  if (machine.activity == Activity::Busy) {
    machine.activity = Activity::Idle;
    begin_idle_stretch(machine, since);
  } else if (machine.idle_since && *machine.idle_since < since) {
    // A fresh idle stretch while still idle: earlier holds belong to the old one.
    machine.latch = Latch::Raised;
    machine.delay_armed = false;
    machine.held_delay.reset();
    begin_idle_stretch(machine, since);
  }
  return std::nullopt;
}

void apply_pause(PacingMachine& machine, std::optional<std::uint32_t> minutes, WallTime now) {
  if (!minutes) {
    machine.latch = Latch::Lowered;
    machine.timer.reset();
    machine.delay_armed = false;
    machine.held_delay.reset();
    return;
  }
  const std::uint32_t clamped = std::clamp(*minutes, MIN_DELAY_MINUTES, MAX_DELAY_MINUTES);
  machine.latch = Latch::Raised;
  if (machine.activity == Activity::Busy) {
    machine.held_delay = clamped;
    return;
  }
  // Measured from the start of the idle stretch, so a short delay may already be due.
  if (!machine.idle_since) machine.idle_since = now;
  machine.timer = saturating_add(*machine.idle_since, minutes_to_millis(clamped));
  machine.delay_armed = true;
}

CodeOutcome apply_codes(PacingMachine& machine, const std::vector<InlineCode>& codes,
                        WallTime now) {
  CodeOutcome outcome;
  for (auto code = codes.rbegin(); code != codes.rend(); ++code) {
    if (std::holds_alternative<DoneCode>(*code)) {
      apply_pause(machine, std::nullopt, now);
      outcome.verdict = *code;
      break;
    }
    if (const auto* wait = std::get_if<WaitCode>(&*code)) {
      apply_pause(machine, wait->minutes, now);
      outcome.verdict = *code;
      outcome.waited = true;
      break;
    }
  }
  for (const InlineCode& code : codes) {
    if (const auto* classify = std::get_if<ClassifyCode>(&code)) {
      outcome.classify.push_back(*classify);
    }
  }
  return outcome;
}

std::optional<Millis> tick(PacingMachine& machine, WallTime now) {
  if (machine.latch == Latch::Lowered || machine.activity == Activity::Busy || !machine.timer ||
      now < *machine.timer) {
    return std::nullopt;
  }
  // Every way of arming keeps the timer at or after the idle start, so this cannot go negative.
  const Millis idle_for = now - machine.idle_since.value_or(*machine.timer);
  if (machine.delay_armed) {
    machine.delay_armed = false;
    machine.backoff_step = 0;
  } else {
    machine.backoff_step = std::min(machine.backoff_step + 1, LAST_STEP);
  }
  machine.timer = saturating_add(now, BACKOFF_MS[machine.backoff_step]);
  return idle_for;
}

std::string status(const PacingMachine& machine, WallTime now) {
  return kelvo_says(
      fill("status — latch {}; endpoint {}{};{} timer {}; backoff step {} of {} "
           "(re-arms at {}s{}).",
           {machine.latch == Latch::Raised ? "raised" : "lowered (paused)",
            machine.activity == Activity::Busy ? "busy" : "idle", idle_item(machine, now),
            held_item(machine), timer_item(machine, now), std::to_string(machine.backoff_step),
            std::to_string(LAST_STEP),
            std::to_string(whole_seconds(BACKOFF_MS[machine.backoff_step]).count()),
            machine.delay_armed ? ", superseded by a delay" : ""}));
}

}  // namespace kelvo
