#pragma once

#include <cstdint>
#include <vector>

#include "common/time.hpp"
#include "digest/inline_code.hpp"
#include "main/shell_context.hpp"

namespace kelvo {

// Reads the truncated outputs in full from the digest and appends their codes. A digest that
// can't be fetched or decoded drops the numbers uncounted; a number it lacks counts as missed.
void follow_up_digest(ShellContext& context, LoopEffects& effects,
                      const std::vector<std::uint64_t>& pending_seqs,
                      std::vector<InlineCode>& cycle_codes);

// Hands the cycle's codes to the machine, then classifies in order, marks the wait's checkpoint
// (on the fresh board when a classification succeeded), and saves once if anything was
// classified.
void act_on_codes(ShellContext& context, const std::vector<InlineCode>& codes, WallTime now);

}  // namespace kelvo
