#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/time.hpp"
#include "cycle/outbox.hpp"
#include "cycle/run_counters.hpp"
#include "cycle/run_settings.hpp"
#include "cycle/session.hpp"
#include "cycle/shell_event.hpp"
#include "runtime/pacing.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// The run's end, once a step has decided it.
struct RunEnd {
  EndCause cause;
  std::string line;  // what the shell printed
};

// Everything the cycle's steps decide over: what a restart keeps (the session), and what only
// this run knows. Only the steps in src/cycle change it; what the driver sees while it carries
// out their decisions comes back to them through follow_delivery.
struct ShellState {
  Session session;
  RunCounters counters;    // for the status reply, never saved
  OwnerState owner_state;  // the owner's registry, saved in its own file
  // The owner's state file was there at start-up but could not be loaded: the first save moves
  // it aside, so a damaged or unreadable file is never lost.
  bool owner_file_unreadable = false;
  std::uint32_t refusal_streak = 0;  // refused polls in a row
  std::optional<std::string>
      send_failure{};  // how the last send that ran failed, until one succeeds
  // The session was restored and the host has not reported the endpoint's activity since: the
  // first report tells whether the agent is still where the session left it.
  bool restored_unchecked = false;
  HookHealth hook{};
  std::optional<RunEnd> ended{};
};

// Where the pacing stands, for a person (see Pacing).
Pacing pacing_of(const ShellState& state);

// Puts a message for the agent in the outbox, sent "--active-only" from the shell id; nothing
// without an owner to send it to.
void reply(const RunSettings& run, std::string text, Outbox& outbox);

// An event at `now` with the idle stretch's start, length and nudges, where there is one.
ShellEvent event_at(const RunSettings& run, const ShellState& state, ShellEventKind kind,
                    WallTime now, std::string detail);

// Puts a save of the owner state in the outbox, when the run has a state file to save it in.
void save(const RunSettings& run, const ShellState& state, WallTime now, Outbox& outbox);

}  // namespace kelvo
