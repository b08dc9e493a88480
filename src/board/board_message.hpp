#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "board/stretch_board.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// The board message names at most this many classes; the rest are only counted.
inline constexpr std::size_t MAX_LISTED_CLASSES = 15;

// What the agent is shown when a quiet stretch ends: the checkpoints newest first with their
// time to the resume, how to classify one, and the classes known so far.
std::string board_message(std::uint64_t idle_ms, std::string_view stamp, const StretchBoard& board,
                          std::string_view sender_label, const ClassRegistry& registry,
                          std::string_view state_path_text);

// The board's piece of the status reply, beginning with a space.
std::string board_status_line(const StretchBoard& board);

}  // namespace kelvo
