#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/time.hpp"
#include "cycle/outbox.hpp"
#include "cycle/shell_context.hpp"
#include "digest/inline_code.hpp"

namespace kelvo {

// Reads the truncated outputs in full from the digest text and appends their codes. A digest
// that doesn't decode drops the numbers uncounted; a number it lacks counts as missed.
void follow_up_digest(ShellContext& context, std::string_view digest_text,
                      const std::vector<std::uint64_t>& pending_seqs,
                      std::vector<InlineCode>& cycle_codes);

// Hands the cycle's codes to the machine, then classifies in order, marks the wait's checkpoint
// (on the fresh board when a classification succeeded), and saves once if anything was
// classified.
void act_on_codes(ShellContext& context, const std::vector<InlineCode>& codes, WallTime now,
                  Outbox& outbox);

}  // namespace kelvo
