#pragma once

#include <string>

#include "common/time.hpp"
#include "frame/shell_command.hpp"
#include "main/shell_context.hpp"

namespace kelvo {

// Carries out one operator command as soon as its line is read, with its reply and save.
void act_on_command(ShellContext& context, LoopEffects& effects, const ShellCommand& command,
                    WallTime now);

// The reply to `status`: pacing, board, registry, version, then the run summary.
std::string status_reply(const ShellContext& context, WallTime now);

}  // namespace kelvo
