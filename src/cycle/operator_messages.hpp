#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/time.hpp"
#include "common/version.hpp"

namespace kelvo {

// Ends the intro and tags the status reply.
inline constexpr std::string_view VERSION_SUFFIX = " — kelvo v" KELVO_VERSION;

// How the shell works, told to the agent at start-up and after every boundary.
std::string intro_message();

// The ping to an idle agent; `stamp` is the local time the nudge is built.
std::string nudge_message(Millis idle_for, std::string_view stamp);

}  // namespace kelvo
