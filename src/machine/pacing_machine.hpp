#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/activity.hpp"
#include "common/time.hpp"
#include "digest/inline_code.hpp"

namespace kelvo {

// Intervals between pings of one idle stretch; the first is the idle threshold.
inline constexpr std::array<Millis, 4> BACKOFF_MS{Millis(60000), Millis(120000), Millis(300000),
                                                  Millis(900000)};

enum class Latch { Raised, Lowered };

// When to nudge the endpoint. A default-constructed machine is the start-up state: busy, latch
// raised, timer off, step 0, no holds.
struct PacingMachine {
  // Lowered by a pause; pings are allowed only while raised.
  Latch latch = Latch::Raised;
  Activity activity = Activity::Busy;
  // When the next ping is due; absent while off.
  std::optional<WallTime> timer = std::nullopt;
  // Start of the current idle stretch; present only while idle.
  std::optional<WallTime> idle_since = std::nullopt;
  // Delay minutes (1..=120) given while busy, waiting for the next idle edge.
  std::optional<std::uint32_t> held_delay = std::nullopt;
  // Index into BACKOFF_MS, never past its last entry.
  std::size_t backoff_step = 0;
  // The current timer was set by a delay rather than by the backoff.
  bool delay_armed = false;

  bool operator==(const PacingMachine&) const = default;
};

// What one cycle's inline codes leave for the caller: the classify codes to carry out, in order,
// the done or wait code that won, and whether it was a wait.
struct CodeOutcome {
  std::vector<ClassifyCode> classify;
  std::optional<InlineCode> verdict;
  bool waited = false;
};

// Feeds one activity edge. A busy edge that ends an idle stretch gives the stretch's length, or
// nothing when its `since` lies before the stretch's start.
std::optional<Millis> on_activity(PacingMachine& machine, const ActivityReport& edge);

// Absent minutes pause until the next busy edge; present minutes (clamped to 1..=120) delay the
// next ping to that long after the idle stretch began, or are held for the next idle edge.
void apply_pause(PacingMachine& machine, std::optional<std::uint32_t> minutes, WallTime now);

// The last done or wait code of the list wins; the classify codes are handed back.
CodeOutcome apply_codes(PacingMachine& machine, const std::vector<InlineCode>& codes, WallTime now);

// When a ping is due at `now`, re-arms the timer and gives how long the endpoint has been idle.
std::optional<Millis> tick(PacingMachine& machine, WallTime now);

// The one-line status report of the machine at `now`.
std::string status(const PacingMachine& machine, WallTime now);

}  // namespace kelvo
