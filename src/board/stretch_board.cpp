#include "board/stretch_board.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "common/text.hpp"
#include "state/class_registry.hpp"

namespace kelvo {

StretchBoard::StretchBoard(std::string stretch_id, WallTime now)
    : id(std::move(stretch_id)), checkpoints{Checkpoint{now, 0}} {}

void mark_checkpoint(StretchBoard& board, WallTime now) {
  if (!board.next_sub) return;
  const std::uint32_t sub = *board.next_sub;
  if (sub == std::numeric_limits<std::uint32_t>::max()) {
    board.next_sub.reset();
  } else {
    board.next_sub = sub + 1;
  }
  board.checkpoints.push_back(Checkpoint{now, sub});
  while (board.checkpoints.size() > MAX_CHECKPOINTS) board.checkpoints.pop_front();
}

void record_resume(StretchBoard& board, WallTime resumed_at) { board.last_resume = resumed_at; }

Millis shown_delta(const StretchBoard& board, const Checkpoint& checkpoint) {
  return elapsed_between(checkpoint.marked_at, board.last_resume.value_or(WallTime{}));
}

ShownSecs shown_secs(const StretchBoard& board, std::uint32_t sub) {
  if (!board.last_resume) return BoardLookupError::NoResumeYet;
  const auto found = std::find_if(board.checkpoints.begin(), board.checkpoints.end(),
                                  [sub](const Checkpoint& c) { return c.sub == sub; });
  if (found == board.checkpoints.end()) return BoardLookupError::NotOnBoard;
  return whole_seconds(shown_delta(board, *found));
}

Result<void> classify_checkpoint(StretchBoard& board, OwnerState& state,
                                 const Designator& designator, const std::string& class_name,
                                 WallTime now, std::string fresh_id) {
  if (designator.id != board.id) {
    return Failure{fill("no live board `{}` — the live board is `{}`", {designator.id, board.id})};
  }
  const ShownSecs shown = shown_secs(board, designator.sub);
  if (const auto* error = std::get_if<BoardLookupError>(&shown)) {
    if (*error == BoardLookupError::NoResumeYet) return Failure{"no reported checkpoint yet"};
    return Failure{fill("no checkpoint `:{}` on board `{}` — rolled off or never marked",
                        {std::to_string(designator.sub), designator.id})};
  }
  classify(state, class_name, std::get<Seconds>(shown), now);
  board = StretchBoard(std::move(fresh_id), now);
  return {};
}

}  // namespace kelvo
