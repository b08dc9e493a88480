#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/time.hpp"
#include "common/version.hpp"

namespace kelvo {

// Ends the intro and tags the status reply.
inline constexpr std::string_view VERSION_SUFFIX = " — kelvo v" KELVO_VERSION;

// How the shell works, told to the agent at start-up and after every boundary. It names `sender`,
// the shell id its messages come from (KELVO-0 without one), as the sender to trust and the id
// the operator's commands address.
std::string intro_message(std::optional<std::string_view> sender);

// The ping to an idle agent; `stamp` is the local time the nudge is built.
std::string nudge_message(Millis idle_for, std::string_view stamp);

}  // namespace kelvo
