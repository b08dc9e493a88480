#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/time.hpp"

namespace kelvo {

// What the shell tells a person about: what only a person can mend, and the moment it is mended.
enum class ShellEventKind {
  Blocked,         // the shell accepted the agent's `!!done!!`; again as a reminder while it lasts
  Unresponsive,    // the Nth nudge of one idle stretch has gone out
  Resumed,         // the agent at work again after blocked or unresponsive was told
  HostFailing,     // the line saying host calls are failing was printed
  HostRecovered,   // the line saying they succeed again was printed
  StateKeptAside,  // an unreadable state file was renamed aside
  Ending,          // the run ends: stopped, or its link refused
};

// Why a run ended.
enum class EndCause {
  Stopped,     // SIGTERM or SIGINT: a stop someone made on purpose
  TakenOver,   // the host refused the link because another shell bound it
  Revoked,     // the host refused the link because it was revoked
  Superseded,  // the host refused the link and did not say why
};

// "stopped", "taken-over", "revoked", "superseded": the runtime file's and the event's `cause`.
std::string_view end_cause_name(EndCause cause);

// "blocked", "unresponsive", "resumed", "host-failing", "host-recovered", "state-kept-aside",
// "ending": the hook's argument and the JSON's `event`.
std::string_view event_name(ShellEventKind kind);

struct ShellEvent {
  ShellEventKind kind = ShellEventKind::Blocked;
  WallTime at;
  std::string owner;
  std::optional<std::string> shell_id;
  std::optional<WallTime> since;  // the idle stretch's start, where there is one
  std::uint64_t nudges = 0;       // of this idle stretch
  // blocked: the agent's text around the code (see excerpt_around); host events: the failure
  // text; ending: the line printed.
  std::string detail;
  std::optional<std::uint64_t> reminder;  // the how-manieth reminder of a blocked stretch
  std::optional<EndCause> cause;          // ending: why
};

// The one-line JSON object a hook reads on its standard input. `idle_s` is the whole seconds
// from `since` to `at` (0 when the host's clock is ahead), null without `since`. `dropped`, when
// not 0, is the number of events dropped from the full queue before this one. Text that is not
// valid UTF-8 is written with U+FFFD in place of the bad bytes.
std::string event_json(const ShellEvent& event, std::string_view host, std::uint64_t dropped = 0);

// The longest piece of `text` of at most `max_bytes` around the bytes [at, at + length) (a code in
// the agent's output), as much before them as after where the text allows, both ends at whole
// UTF-8 characters. A code longer than `max_bytes` gives its own start.
inline constexpr std::size_t EVENT_DETAIL_MAX_BYTES = 300;
std::string excerpt_around(std::string_view text, std::size_t at, std::size_t length,
                           std::size_t max_bytes = EVENT_DETAIL_MAX_BYTES);

}  // namespace kelvo
