#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/time.hpp"
#include "common/urgency.hpp"
#include "cycle/shell_event.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// The two flag sets messages go out with.
enum class SendFlags {
  ActiveOnly,     // "--active-only": intro, command replies, board message
  IdleEphemeral,  // "--idle-only", "--ephemeral": nudge
};

// A text for the agent, sent through the host from `from` (the shell id, when there is one).
struct Message {
  SendFlags flags;
  std::optional<std::string> from;
  std::string text;

  bool operator==(const Message&) const = default;
};

// The owner state to write to the state file, as it stood when the save was decided `at`;
// with `keep_aside_first`, the unreadable file there is moved aside before it is replaced.
struct Save {
  OwnerState state;
  WallTime at;
  bool keep_aside_first = false;

  bool operator==(const Save&) const = default;
};

// A line for the person at the console.
struct ConsoleLine {
  Urgency urgency;
  std::string text;

  bool operator==(const ConsoleLine&) const = default;
};

using Effect = std::variant<Message, Save, ConsoleLine, ShellEvent>;

// A ShellEvent in the outbox is told to the event hook, when the run has one.

// How the event hook has fared this run: the runs that failed, and the line of the last one.
struct HookHealth {
  std::uint64_t failures = 0;
  std::optional<std::string> last_failure;

  bool operator==(const HookHealth&) const = default;
};

// What the driver saw while it carried out an outbox, for the next step to take in (see
// follow_delivery).
struct Delivery {
  enum class Send { NoneRan, Succeeded, Failed };
  Send last_send = Send::NoneRan;
  std::string send_failure;         // with Failed: how it failed
  bool state_file_settled = false;  // the unreadable state file was moved aside, or had gone
  std::optional<HookHealth> hook;   // as the hook runner last told it
};

// What a step of the cycle decided to do, in the order it is to be done. The driver carries it
// out before its next host call.
struct Outbox {
  std::vector<Effect> effects;
};

}  // namespace kelvo
