#pragma once

#include <string>

#include "common/time.hpp"
#include "cycle/outbox.hpp"
#include "cycle/shell_state.hpp"
#include "frame/shell_command.hpp"

namespace kelvo {

// Carries out one operator command on the run as soon as its line is read; its reply and save
// go to the outbox.
void act_on_command(const RunSettings& run, ShellState& state, const ShellCommand& command,
                    WallTime now, Outbox& outbox);

// The reply to `status`: pacing, board, registry, version, then the run summary.
std::string status_reply(const ShellState& state, WallTime now);

}  // namespace kelvo
