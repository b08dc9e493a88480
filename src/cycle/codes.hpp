#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/time.hpp"
#include "cycle/outbox.hpp"
#include "cycle/poll_reading.hpp"
#include "cycle/shell_state.hpp"
#include "digest/inline_code.hpp"

namespace kelvo {

// Reads the truncated outputs in full from the digest text and takes their codes. A digest that
// doesn't decode drops the numbers uncounted; a number it lacks counts as missed.
void follow_up_digest(ShellState& state, std::string_view digest_text, PollReading& reading);

// Hands the cycle's codes to the machine, then classifies in order, marks the wait's checkpoint
// (on the fresh board when a classification succeeded), and saves once if anything was
// classified. A `!!done!!` that wins marks the agent blocked. Gives the code that won, if any.
std::optional<InlineCode> act_on_codes(const RunSettings& run, ShellState& state,
                                       const PollReading& reading, WallTime now, Outbox& outbox);

}  // namespace kelvo
