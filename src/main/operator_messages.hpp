#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo {

// Ends the intro and tags the status reply.
inline constexpr std::string_view VERSION_SUFFIX = " — kelvo v0.6.1";

// How the shell works, told to the agent at start-up and after every boundary.
std::string intro_message();

// The ping to an idle agent; `stamp` is the local time the nudge is built.
std::string nudge_message(std::uint64_t idle_ms, std::string_view stamp);

// Idle time as whole seconds under a minute, whole minutes under an hour, else hours and minutes
// (minutes always written): 59s, 1m, 1h0m.
std::string format_idle_coarse(std::uint64_t ms);

}  // namespace kelvo
