#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "board/stretch_board.hpp"
#include "machine/pacing_machine.hpp"
#include "main/activity_tracker.hpp"
#include "main/host_runner.hpp"
#include "main/loop_clock.hpp"
#include "main/run_counters.hpp"
#include "main/startup.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// The effects the loop reaches through: the host program and the clock.
struct LoopEffects {
  HostRunner& host;
  LoopClock& clock;
};

// Everything one run owns; it lives until the process ends.
struct ShellContext {
  StartupSettings settings;
  PacingMachine machine;
  RunCounters counters;
  std::uint32_t refusal_streak = 0;
  std::optional<ActivityTracker> activity_source;   // only with a shell id
  std::optional<std::filesystem::path> state_path;  // only with a state dir and an owner
  OwnerState owner_state;
  StretchBoard board;
};

// The run set-up: tracker, owner state, machine, counters, a fresh board, then the intro.
ShellContext set_up_run(const StartupSettings& settings, LoopEffects& effects);

// Saves the owner state when there is a file to save it in.
void save_owner_state(const ShellContext& context);

}  // namespace kelvo
