#pragma once

#include <cstdint>
#include <vector>

#include "digest/inline_code.hpp"
#include "machine/pacing_machine.hpp"
#include "main/shell_context.hpp"

namespace kelvo {

// Reads the truncated outputs in full from the digest and appends their codes. A digest that
// can't be fetched or decoded drops the numbers uncounted; a number it lacks counts as missed.
void follow_up_digest(ShellContext& context, LoopEffects& effects,
                      const std::vector<std::uint64_t>& pending_seqs,
                      std::vector<InlineCode>& cycle_codes);

// Classifies in order, then marks the wait's checkpoint (on the fresh board when a
// classification succeeded), then saves once if anything was classified.
void follow_through_codes(ShellContext& context, const CodeOutcome& outcome, std::uint64_t now);

// A quiet stretch of `idle_ms` ended at `resumed_at`: record the resume and show the board.
void show_board(ShellContext& context, LoopEffects& effects, std::uint64_t idle_ms,
                std::uint64_t resumed_at);

}  // namespace kelvo
