#include "board/stretch_board.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "common/text.hpp"
#include "state/class_registry.hpp"

namespace kelvo {

StretchBoard::StretchBoard(std::string stretch_id, std::uint64_t now)
    : id(std::move(stretch_id)), checkpoints{Checkpoint{now, 0}} {}

void mark_checkpoint(StretchBoard& board, std::uint64_t now) {
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

void record_resume(StretchBoard& board, std::uint64_t resume_ms) {
  board.last_resume_ms = resume_ms;
}

ShownSecs shown_secs(const StretchBoard& board, std::uint32_t sub) {
  if (!board.last_resume_ms) return BoardLookupError::NoResumeYet;
  const auto found = std::find_if(board.checkpoints.begin(), board.checkpoints.end(),
                                  [sub](const Checkpoint& c) { return c.sub == sub; });
  if (found == board.checkpoints.end()) return BoardLookupError::NotOnBoard;
  const std::uint64_t resume = *board.last_resume_ms;
  const std::uint64_t delta = resume > found->marked_ms ? resume - found->marked_ms : 0;
  return delta / 1000;
}

std::optional<std::string> classify_checkpoint(StretchBoard& board, OwnerState& state,
                                               const Designator& designator,
                                               const std::string& class_name, std::uint64_t now) {
  if (designator.id != board.id) {
    return fill("no live board `{}` — the live board is `{}`", {designator.id, board.id});
  }
  const ShownSecs shown = shown_secs(board, designator.sub);
  if (const auto* error = std::get_if<BoardLookupError>(&shown)) {
    if (*error == BoardLookupError::NoResumeYet) return "no reported checkpoint yet";
    return fill("no checkpoint `:{}` on board `{}` — rolled off or never marked",
                {std::to_string(designator.sub), designator.id});
  }
  classify(state, class_name, std::get<std::uint64_t>(shown), now);
  board = StretchBoard(new_stretch_id(), now);
  return std::nullopt;
}

}  // namespace kelvo
