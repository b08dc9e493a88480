#pragma once

#include <cstdint>
#include <string>

#include "frame/shell_command.hpp"
#include "main/shell_context.hpp"

namespace kelvo {

// Carries out one operator command as soon as its line is read, with its reply and save.
void act_on_command(ShellContext& context, LoopEffects& effects, const ShellCommand& command,
                    std::uint64_t now);

// The reply to `status`: pacing, board, registry, version, then the run summary.
std::string status_reply(const ShellContext& context, std::uint64_t now);

}  // namespace kelvo
