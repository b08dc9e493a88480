#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/time.hpp"

namespace kelvo {

// A blocked agent is told again this often while its `!!done!!` holds the latch down.
inline constexpr Millis BLOCKED_REMINDER_EVERY{4 * 3600 * 1000};
// By default the fourth nudge of one idle stretch (about 23 minutes in) makes it unresponsive.
inline constexpr std::uint32_t DEFAULT_UNRESPONSIVE_AFTER = 4;

// What only a person can mend, as far as the shell has seen it.
struct Attention {
  // The agent's `!!done!!` holds the latch down (not the operator's pause).
  struct Blocked {
    WallTime since;
    std::string detail;
    WallTime last_told;
    std::uint32_t reminders = 0;
    bool told = false;  // told once the cycle's activity is known, so the event names its stretch
  };
  std::optional<Blocked> blocked;
  // The nudges of the idle stretch that began at `stretch`, those since the agent last answered
  // with a done or wait code, and whether they made it unresponsive.
  std::optional<WallTime> stretch;
  std::uint32_t stretch_nudges = 0;
  std::uint32_t unanswered_nudges = 0;
  bool unresponsive = false;
  std::uint64_t total_nudges = 0;
  // Blocked or unresponsive was told: the agent's next return to work is told as `resumed`.
  bool awaiting_resume = false;
};

}  // namespace kelvo
