#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <variant>

#include "common/result.hpp"
#include "common/time.hpp"
#include "digest/designator.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

inline constexpr std::size_t MAX_CHECKPOINTS = 10;
// An idle period must last this long for its end to show the board.
inline constexpr Millis BOARD_QUIET_MIN{60000};

// One mark on a stretch: sub 0 is its start, later marks count up and are never reused.
struct Checkpoint {
  WallTime marked_at{};
  std::uint32_t sub = 0;

  bool operator==(const Checkpoint&) const = default;
};

// The live stretch of waiting: its id, the most recent checkpoints (oldest first, never
// empty), and the time the board was last shown. The caller makes the id (see stretch_id.hpp), so
// the board itself reads no clock.
struct StretchBoard {
  StretchBoard(std::string stretch_id, WallTime now);

  std::string id;
  std::deque<Checkpoint> checkpoints;
  // Absent once sub 4294967295 has been marked: the stretch takes no further marks.
  std::optional<std::uint32_t> next_sub = 1;
  std::optional<WallTime> last_resume;

  bool operator==(const StretchBoard&) const = default;
};

enum class BoardLookupError { NoResumeYet, NotOnBoard };

// Whole seconds, or why there are none.
using ShownSecs = std::variant<Seconds, BoardLookupError>;

// Appends a checkpoint marked at `now`, dropping the oldest beyond MAX_CHECKPOINTS.
void mark_checkpoint(StretchBoard& board, WallTime now);

void record_resume(StretchBoard& board, WallTime resumed_at);

// The time the board showed for checkpoint `sub` at its last resume (never more at a later look).
ShownSecs shown_secs(const StretchBoard& board, std::uint32_t sub);

// The time from a checkpoint's mark to the board's last resume.
Millis shown_delta(const StretchBoard& board, const Checkpoint& checkpoint);

// Folds the shown time of the designated checkpoint into class `class_name` (already validated)
// and starts a fresh stretch `fresh_id` at `now`. On failure board and state stay as they were.
Result<void> classify_checkpoint(StretchBoard& board, OwnerState& state,
                                 const Designator& designator, const std::string& class_name,
                                 WallTime now, std::string fresh_id);

}  // namespace kelvo
