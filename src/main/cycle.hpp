#pragma once

#include "main/shell_context.hpp"

namespace kelvo {

enum class CycleEnd { Continue, Superseded };

// One cycle of the loop, without its closing sleep: poll and sort the lines, re-introduce after a
// boundary, follow truncated output up in the digest, apply the codes, follow activity, and let
// the machine decide on a nudge. Superseded after the third refused poll in a row.
CycleEnd run_cycle(ShellContext& context, LoopEffects& effects);

}  // namespace kelvo
