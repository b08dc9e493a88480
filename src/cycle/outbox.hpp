#pragma once

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

// The owner state to write to the state file, as it stood when the save was decided `at`.
struct Save {
  OwnerState state;
  WallTime at;

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

// What a step of the cycle decided to do, in the order it is to be done. The driver carries it
// out before its next host call.
struct Outbox {
  std::vector<Effect> effects;
};

}  // namespace kelvo
