#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "cycle/run_settings.hpp"
#include "cycle/session_codec.hpp"
#include "cycle/shell_state.hpp"
#include "main/loop_effects.hpp"
#include "main/startup.hpp"

namespace kelvo {

// What the driver holds fixed for the run: the settings the steps read, and what only its own
// effects need: the link token for the host calls, and where the session is kept.
struct Run {
  std::string link;
  RunSettings settings;
  std::optional<std::filesystem::path> session_path;  // with a state directory and an owner
  std::string link_fingerprint;
};

struct StartedRun {
  Run run;
  ShellState state;
};

// The run set-up: the owner state from its file (an unreadable one is reported and the run
// starts empty), the session the last run of this owner and link left (one that cannot be used
// is kept aside and reported) or a fresh one with a fresh board; then the intro, unless the
// restored session was sending from the same shell id, so the agent knows the sender already.
StartedRun set_up_run(const StartupSettings& settings, LoopEffects& effects);

// The session as the file keeps it, saved at `now`.
SessionRecord session_record(const Run& run, const Session& session, WallTime now);

}  // namespace kelvo
