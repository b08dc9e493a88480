#pragma once

#include <string>

#include "cycle/shell_state.hpp"

namespace kelvo {

// The one line `systemctl status` shows, in local time:
// "demo: idle since 10:29:05; next nudge 10:30:05; board cqijcs :0 :1; 1 class; host calls ok".
// Before the host's first activity report the endpoint reads "busy (no report yet)"; without an
// owner the line begins "no owner:".
std::string service_status(const RunSettings& run, const ShellState& state);

}  // namespace kelvo
