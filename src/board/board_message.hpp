#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "board/stretch_board.hpp"
#include "common/time.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// The board message names at most this many classes; the rest are only counted.
inline constexpr std::size_t MAX_LISTED_CLASSES = 15;

// What the agent is shown when a quiet stretch ends: the checkpoints newest first with their
// time to the resume, how to classify one (addressed to `shell_id`), and the classes known so far,
// pointing to the state file for those not listed ("state/<owner>.json" when there is none).
std::string board_message(Millis idle_for, std::string_view stamp, const StretchBoard& board,
                          std::string_view shell_id, const ClassRegistry& registry,
                          const std::optional<std::string>& state_path);

// The board's piece of the status reply, beginning with a space.
std::string board_status_line(const StretchBoard& board);

}  // namespace kelvo
