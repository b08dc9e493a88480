#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <variant>

#include "board/stretch_id.hpp"
#include "digest/designator.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

inline constexpr std::size_t MAX_CHECKPOINTS = 10;
// An idle period must last this long for its end to show the board.
inline constexpr std::uint64_t BOARD_QUIET_MIN_MS = 60000;

// One mark on a stretch: sub 0 is its start, later marks count up and are never reused.
struct Checkpoint {
  std::uint64_t marked_ms = 0;
  std::uint32_t sub = 0;

  bool operator==(const Checkpoint&) const = default;
};

// The live stretch of waiting: its id, the most recent checkpoints (oldest first, never
// empty), and the time the board was last shown.
struct StretchBoard {
  StretchBoard(std::string stretch_id, std::uint64_t now);

  std::string id;
  std::deque<Checkpoint> checkpoints;
  // Absent once sub 4294967295 has been marked: the stretch takes no further marks.
  std::optional<std::uint32_t> next_sub = 1;
  std::optional<std::uint64_t> last_resume_ms;
};

enum class BoardLookupError { NoResumeYet, NotOnBoard };

// Whole seconds, or why there are none.
using ShownSecs = std::variant<std::uint64_t, BoardLookupError>;

// Appends a checkpoint marked at `now`, dropping the oldest beyond MAX_CHECKPOINTS.
void mark_checkpoint(StretchBoard& board, std::uint64_t now);

void record_resume(StretchBoard& board, std::uint64_t resume_ms);

// The time the board showed for checkpoint `sub` at its last resume (never more at a later look).
ShownSecs shown_secs(const StretchBoard& board, std::uint32_t sub);

// Folds the shown time of the designated checkpoint into class `class_name` (already validated)
// and starts a fresh stretch at `now`. Gives the reason on failure, leaving board and state as
// they were.
std::optional<std::string> classify_checkpoint(StretchBoard& board, OwnerState& state,
                                               const Designator& designator,
                                               const std::string& class_name, std::uint64_t now);

}  // namespace kelvo
