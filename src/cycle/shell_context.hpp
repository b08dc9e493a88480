#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "board/stretch_board.hpp"
#include "cycle/activity_tracker.hpp"
#include "cycle/attention.hpp"
#include "cycle/host_health.hpp"
#include "cycle/outbox.hpp"
#include "cycle/run_counters.hpp"
#include "cycle/shell_event.hpp"
#include "cycle/stretch_ids.hpp"
#include "frame/frame_mac.hpp"
#include "machine/pacing_machine.hpp"
#include "runtime/pacing.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// The shell id the host knows this shell by, and what only a shell with an id has: its polls
// (with their run of refusals) and the activity that drive-poll reports.
struct PolledShell {
  std::string shell_id;
  ActivityTracker activity;
  std::uint32_t refusal_streak = 0;
};

// The owner's state file, when the run has one (a state directory and an owner).
struct StateFile {
  std::filesystem::path path;
  // The file was there at start-up but could not be loaded: it is moved aside before the first
  // save, so a damaged or unreadable file is never lost.
  bool unreadable = false;
};

// Everything one run owns; it lives until the process ends. Plain values only: the cycle's
// decisions change it, and the driver carries out what they decide.
struct ShellContext {
  std::string link;
  FrameKey frame_key;  // derived from the link once: every poll line is checked under it
  std::optional<std::string> owner;  // without one nothing is ever sent
  std::optional<PolledShell> polled;
  std::optional<StateFile> state_file;
  PacingMachine machine;
  RunCounters counters;
  OwnerState owner_state;
  StretchBoard board;
  HostHealth host_health;
  StretchIds stretch_ids;
  Attention attention{};
  // The nudges of one idle stretch after which it is told as unresponsive; 0: never.
  std::uint32_t unresponsive_after = DEFAULT_UNRESPONSIVE_AFTER;
  // How the last send that ran failed, until a send succeeds.
  std::optional<std::string> send_failure{};
  WallTime started{};                       // when the run was set up
  std::optional<std::string> ended_with{};  // the line that ends the run, once it is superseded
};

// Where the pacing stands, for a person (see Pacing).
Pacing pacing_of(const ShellContext& context);

// Messages go out from the shell id, when there is one.
std::optional<std::string> sender(const ShellContext& context);

// Puts a message for the agent in the outbox, sent "--active-only" from the shell id; nothing
// without an owner to send it to.
void reply(const ShellContext& context, std::string text, Outbox& outbox);

// An event at `now` with the idle stretch's start, length and nudges, where there is one.
ShellEvent event_at(const ShellContext& context, ShellEventKind kind, WallTime now,
                    std::string detail);

// Puts a save of the owner state in the outbox, when the run has a state file to save it in.
void save(const ShellContext& context, WallTime now, Outbox& outbox);

}  // namespace kelvo
