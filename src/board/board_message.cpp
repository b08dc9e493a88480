#include "board/board_message.hpp"

#include <vector>

#include "common/agent_voice.hpp"
#include "common/duration.hpp"
#include "common/text.hpp"
#include "state/class_registry.hpp"

namespace kelvo {

namespace {

constexpr std::string_view MAIN_TEXT =
    "stretch board `{}` — resumed {} (local tz) after ~{} idle. Checkpoints (waits "
    "marked on this stretch, oldest = `:0` its start; each shown with wall-clock since it was "
    "marked):{}\nIf one of these was a recurring kind of wait, classify it by its checkpoint — "
    "emit `!!classify={}-<sub>:<name>!!` (snake_case name, e.g. `ci_run`, `peer_review`) or `qrn "
    "shell cmd {} classify {}-<sub> <name>` — kelvo folds that checkpoint's shown time into the "
    "class's running average and starts a fresh stretch.";

// Names the file of the classes a board does not list, when the run keeps none.
constexpr std::string_view STATE_PATH_PLACEHOLDER = "state/<owner>.json";

std::string checkpoint_lines(const StretchBoard& board) {
  std::string lines;
  for (auto it = board.checkpoints.rbegin(); it != board.checkpoints.rend(); ++it) {
    const Seconds shown = whole_seconds(shown_delta(board, *it));
    lines += "\n:" + std::to_string(it->sub) + " ~" + format_duration(shown);
  }
  return lines;
}

std::string classes_sentence(const ClassRegistry& registry,
                             const std::optional<std::string>& state_path) {
  const std::vector<ListedClass> listed = listing_order(registry);
  std::string sentence = " Your classified waits so far: ";
  for (std::size_t i = 0; i < listed.size() && i < MAX_LISTED_CLASSES; ++i) {
    const auto& [name, stat] = listed[i];
    if (i != 0) sentence += "; ";
    sentence += fill("{} ~{} ×{}", {name, format_duration(rounded_mean_secs(stat->mean_secs)),
                                    std::to_string(stat->count)});
  }
  if (listed.size() > MAX_LISTED_CLASSES) {
    sentence += fill(" (+{} more in `{}`)",
                     {std::to_string(listed.size() - MAX_LISTED_CLASSES),
                      state_path ? std::string_view(*state_path) : STATE_PATH_PLACEHOLDER});
  }
  return sentence + ".";
}

std::string checkpoint_range(const StretchBoard& board) {
  if (board.checkpoints.empty()) return "none";
  const std::string first = ":" + std::to_string(board.checkpoints.front().sub);
  if (board.checkpoints.size() == 1) return first;
  return first + "..:" + std::to_string(board.checkpoints.back().sub);
}

}  // namespace

std::string board_message(Millis idle_for, std::string_view stamp, const StretchBoard& board,
                          std::string_view shell_id, const ClassRegistry& registry,
                          const std::optional<std::string>& state_path) {
  std::string message =
      kelvo_says(fill(MAIN_TEXT, {board.id, stamp, format_duration(whole_seconds(idle_for)),
                                  checkpoint_lines(board), board.id, shell_id, board.id}));
  if (!registry.empty()) message += classes_sentence(registry, state_path);
  return message;
}

std::string board_status_line(const StretchBoard& board) {
  const std::string_view note =
      board.last_resume ? "deltas measure to the last resume" : "no resume reported yet";
  return fill(" Live board `{}` — checkpoints {}; {}.", {board.id, checkpoint_range(board), note});
}

}  // namespace kelvo
