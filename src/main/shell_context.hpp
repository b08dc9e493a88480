#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "board/stretch_board.hpp"
#include "frame/frame_mac.hpp"
#include "machine/pacing_machine.hpp"
#include "main/activity_tracker.hpp"
#include "main/host_health.hpp"
#include "main/host_runner.hpp"
#include "main/loop_clock.hpp"
#include "main/run_counters.hpp"
#include "main/service_manager.hpp"
#include "main/startup.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// The effects the loop reaches through: the host program, the clock and the service manager.
struct LoopEffects {
  HostRunner& host;
  LoopClock& clock;
  ServiceManager& service;
};

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

// Everything one run owns; it lives until the process ends.
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
};

// The run set-up: the polled shell, owner state, machine, counters, a fresh board, then the intro.
ShellContext set_up_run(const StartupSettings& settings, LoopEffects& effects);

// Messages go out from the shell id, when there is one.
std::optional<std::string_view> sender(const ShellContext& context);

// Saves the owner state when there is a file to save it in, first moving an unreadable one aside.
void save_owner_state(ShellContext& context, WallTime now);

}  // namespace kelvo
