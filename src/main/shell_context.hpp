#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "board/stretch_board.hpp"
#include "machine/pacing_machine.hpp"
#include "main/activity_tracker.hpp"
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

// How the host's polls and drive-polls have been going: failures without a refusal, in a row.
struct HostHealth {
  std::optional<WallTime> failing_since;  // the first failure of the current run of them
  std::string last_failure;               // what the latest one said, for a person
  std::optional<WallTime> last_reported;  // when the run of failures was last reported
};

// Everything one run owns; it lives until the process ends.
struct ShellContext {
  std::string link;
  std::optional<std::string> owner;  // without one nothing is ever sent
  std::optional<PolledShell> polled;
  std::optional<std::filesystem::path> state_path;  // only with a state dir and an owner
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

// Saves the owner state when there is a file to save it in.
void save_owner_state(const ShellContext& context);

}  // namespace kelvo
