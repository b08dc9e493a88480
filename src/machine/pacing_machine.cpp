#include "machine/pacing_machine.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "common/text.hpp"

namespace kelvo {
namespace {

constexpr std::uint64_t MS_PER_MINUTE = 60000;
constexpr std::uint32_t MIN_DELAY_MINUTES = 1;
constexpr std::uint32_t MAX_DELAY_MINUTES = 120;
constexpr std::size_t LAST_STEP = BACKOFF_MS.size() - 1;

// Activity `since` values are not authenticated and may lie anywhere in the u64 range: a due
// time past its end stays at the end instead of wrapping round to the past.
std::uint64_t saturating_add(std::uint64_t time, std::uint64_t interval) {
  constexpr std::uint64_t latest = std::numeric_limits<std::uint64_t>::max();
  return interval > latest - time ? latest : time + interval;
}

std::uint64_t delay_ms(std::uint32_t minutes) { return std::uint64_t{minutes} * MS_PER_MINUTE; }

void begin_idle_stretch(PacingMachine& machine, std::uint64_t since) {
  const std::optional<std::uint32_t> held = std::exchange(machine.held_delay, std::nullopt);
  machine.idle_since = since;
  if (machine.latch == Latch::Lowered) {
    machine.timer.reset();
    return;
  }
  machine.backoff_step = 0;
  machine.delay_armed = held.has_value();
  machine.timer = saturating_add(since, held ? delay_ms(*held) : BACKOFF_MS[0]);
}

// Ends the idle stretch and gives its length, when its start is known and not after `since`.
std::optional<std::uint64_t> end_idle_stretch(PacingMachine& machine, std::uint64_t since) {
  machine.activity = Activity::Busy;
  machine.timer.reset();
  machine.latch = Latch::Raised;
  machine.backoff_step = 0;
  machine.delay_armed = false;
  machine.held_delay.reset();
  const std::optional<std::uint64_t> start = std::exchange(machine.idle_since, std::nullopt);
  if (!start || since < *start) return std::nullopt;
  return since - *start;
}

std::string idle_item(const PacingMachine& machine, std::uint64_t now) {
  if (!machine.idle_since || now < *machine.idle_since) return "";
  return ", idle ~" + std::to_string((now - *machine.idle_since) / 1000) + "s";
}

std::string held_item(const PacingMachine& machine) {
  if (!machine.held_delay) return "";
  return fill(" a delay of {}m is held for the next idle edge;",
              {std::to_string(*machine.held_delay)});
}

std::string timer_item(const PacingMachine& machine, std::uint64_t now) {
  if (!machine.timer) return "off";
  if (now >= *machine.timer) return "armed, ping due now";
  // Rounded up without adding first, so a timer near the end of the range cannot overflow.
  const std::uint64_t left = *machine.timer - now;
  const std::uint64_t seconds = left / 1000 + (left % 1000 != 0 ? 1 : 0);
  return "armed, next ping in ~" + std::to_string(seconds) + "s";
}

}  // namespace

std::optional<std::uint64_t> on_activity(PacingMachine& machine, bool idle, std::uint64_t since) {
  if (!idle) {
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

void apply_pause(PacingMachine& machine, std::optional<std::uint32_t> minutes, std::uint64_t now) {
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
  machine.timer = saturating_add(*machine.idle_since, delay_ms(clamped));
  machine.delay_armed = true;
}

CodeOutcome apply_codes(PacingMachine& machine, const std::vector<InlineCode>& codes,
                        std::uint64_t now) {
  CodeOutcome outcome;
  for (auto code = codes.rbegin(); code != codes.rend(); ++code) {
    if (std::holds_alternative<DoneCode>(*code)) {
      apply_pause(machine, std::nullopt, now);
      break;
    }
    if (const auto* wait = std::get_if<WaitCode>(&*code)) {
      apply_pause(machine, wait->minutes, now);
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

std::optional<std::uint64_t> tick(PacingMachine& machine, std::uint64_t now) {
  if (machine.latch == Latch::Lowered || machine.activity == Activity::Busy || !machine.timer ||
      now < *machine.timer) {
    return std::nullopt;
  }
  // Every way of arming keeps the timer at or after the idle start, so this cannot go negative.
  const std::uint64_t idle_for = now - machine.idle_since.value_or(*machine.timer);
  if (machine.delay_armed) {
    machine.delay_armed = false;
    machine.backoff_step = 0;
  } else {
    machine.backoff_step = std::min(machine.backoff_step + 1, LAST_STEP);
  }
  machine.timer = saturating_add(now, BACKOFF_MS[machine.backoff_step]);
  return idle_for;
}

std::string status(const PacingMachine& machine, std::uint64_t now) {
  return fill(
      "⟳ **kelvo** status — latch {}; endpoint {}{};{} timer {}; backoff step {} of {} "
      "(re-arms at {}s{}).",
      {machine.latch == Latch::Raised ? "raised" : "lowered (paused)",
       machine.activity == Activity::Busy ? "busy" : "idle", idle_item(machine, now),
       held_item(machine), timer_item(machine, now), std::to_string(machine.backoff_step),
       std::to_string(LAST_STEP), std::to_string(BACKOFF_MS[machine.backoff_step] / 1000),
       machine.delay_armed ? ", superseded by a delay" : ""});
}

}  // namespace kelvo
