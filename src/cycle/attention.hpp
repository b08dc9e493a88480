#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/time.hpp"

namespace kelvo {

// A blocked agent is told again this often while its `!!done!!` holds the latch down.
inline constexpr Millis BLOCKED_REMINDER_EVERY{4 * 3600 * 1000};
// By default the fourth unanswered nudge of one idle stretch makes it unresponsive.
inline constexpr std::uint32_t DEFAULT_UNRESPONSIVE_AFTER = 4;

// What only a person can mend, as far as the shell has seen it. The counts of one idle stretch
// start again with each stretch the machine begins or ends.
struct Attention {
  // The agent's `!!done!!` holds the latch down (not the operator's pause).
  struct Blocked {
    WallTime since;
    std::string detail;
    WallTime last_told;
    std::uint32_t reminders = 0;
    bool told = false;  // told once the cycle's activity is known, so the event names its stretch

    bool operator==(const Blocked&) const = default;
  };
  std::optional<Blocked> blocked;
  // The nudges of the current idle stretch, those since the agent last answered with a done or
  // wait code, and whether the unanswered ones were told as unresponsive.
  std::uint32_t stretch_nudges = 0;
  std::uint32_t unanswered_nudges = 0;
  bool unresponsive = false;
  std::uint64_t total_nudges = 0;
  // Blocked or unresponsive was told: the agent's next return to work is told as `resumed`.
  bool awaiting_resume = false;

  bool operator==(const Attention&) const = default;
};

}  // namespace kelvo
