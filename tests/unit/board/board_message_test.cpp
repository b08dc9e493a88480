#include "board/board_message.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace kelvo {
namespace {

constexpr WallTime RESUME = at_epoch_ms(1796652300000);
constexpr std::string_view STATE_PATH = "/var/kelvo/state/ada.json";

// The board of the worked example: :0, :1 and :2 marked 2410, 725 and 65 s before the resume.
StretchBoard example_board() {
  StretchBoard board("k7m2qz", RESUME - Millis(2410000));
  mark_checkpoint(board, RESUME - Millis(725000));
  mark_checkpoint(board, RESUME - Millis(65000));
  record_resume(board, RESUME);
  return board;
}

std::string message_with(const ClassRegistry& registry,
                         const std::optional<std::string>& path = std::string(STATE_PATH)) {
  return board_message(Millis(200000), "14:05 2026-12-07", example_board(), "KELVO-0", registry,
                       path);
}

// The classes sentence alone: everything after the last "fresh stretch.".
std::string classes_part(const std::string& message) {
  const std::string end = "starts a fresh stretch.";
  return message.substr(message.find(end) + end.size());
}

ClassRegistry numbered_classes(int n) {
  ClassRegistry registry;
  for (int i = 0; i < n; ++i) {
    registry["c" + std::to_string(10 + i)] = ClassStat{static_cast<std::uint64_t>(100 - i), 60, 1};
  }
  return registry;
}

TEST(BoardMessage, WritesTheWorkedExample) {
  const ClassRegistry registry = {{"ci_run", {3, 242.4, 1}}, {"peer_review", {1, 720.0, 2}}};
  EXPECT_EQ(
      message_with(registry),
      "⟳ **kelvo** stretch board `k7m2qz` — resumed 14:05 2026-12-07 (local tz) after ~3m20s "
      "idle. Checkpoints (waits marked on this stretch, oldest = `:0` its start; each shown with "
      "wall-clock since it was marked):\n"
      ":2 ~1m5s\n"
      ":1 ~12m5s\n"
      ":0 ~40m10s\n"
      "If one of these was a recurring kind of wait, classify it by its checkpoint — emit "
      "`!!classify=k7m2qz-<sub>:<name>!!` (snake_case name, e.g. `ci_run`, `peer_review`) or "
      "`qrn shell cmd KELVO-0 classify k7m2qz-<sub> <name>` — kelvo folds that checkpoint's shown "
      "time into the class's running average and starts a fresh stretch. Your classified waits "
      "so far: ci_run ~4m2s ×3; peer_review ~12m ×1.");
}

TEST(BoardMessage, EndsWithTheInvitationWhenNothingIsClassified) {
  const std::string message = message_with({});
  const std::string end = "and starts a fresh stretch.";
  ASSERT_GE(message.size(), end.size());
  EXPECT_EQ(message.substr(message.size() - end.size()), end);
  EXPECT_EQ(message.find("classified waits"), std::string::npos);
}

TEST(BoardMessage, ListsClassesByCountThenName) {
  const ClassRegistry registry = {{"b", {2, 10, 1}}, {"a", {5, 20, 2}}, {"c", {2, 30, 3}}};
  EXPECT_EQ(classes_part(message_with(registry)),
            " Your classified waits so far: a ~20s ×5; b ~10s ×2; c ~30s ×2.");
}

TEST(BoardMessage, RoundsMeansToWholeSeconds) {
  EXPECT_EQ(classes_part(message_with({{"x", {1, 89.5, 1}}})),
            " Your classified waits so far: x ~1m30s ×1.");
  EXPECT_EQ(classes_part(message_with({{"x", {1, 89.4, 1}}})),
            " Your classified waits so far: x ~1m29s ×1.");
}

TEST(BoardMessage, ListsFifteenClassesAndCountsTheRest) {
  std::string fifteen = " Your classified waits so far: ";
  for (int i = 0; i < 15; ++i) {
    if (i != 0) fifteen += "; ";
    fifteen += "c" + std::to_string(10 + i) + " ~1m ×" + std::to_string(100 - i);
  }
  EXPECT_EQ(classes_part(message_with(numbered_classes(15))), fifteen + ".");
  EXPECT_EQ(classes_part(message_with(numbered_classes(16))),
            fifteen + " (+1 more in `/var/kelvo/state/ada.json`).");
  EXPECT_EQ(classes_part(message_with(numbered_classes(50))),
            fifteen + " (+35 more in `/var/kelvo/state/ada.json`).");
  EXPECT_EQ(classes_part(message_with(numbered_classes(16), std::nullopt)),
            fifteen + " (+1 more in `state/<owner>.json`).");
}

TEST(BoardMessage, ShowsNewestFirstAndZeroForMarksAfterTheResume) {
  StretchBoard board("p4q5r6", RESUME - Millis(5000));
  for (std::uint64_t i = 1; i <= 10; ++i)
    mark_checkpoint(board, RESUME - Millis(5000) + Millis(i * 1000));
  record_resume(board, RESUME);
  const std::string message =
      board_message(Millis(60999), "09:05 2026-03-07", board, "sh-7", {}, std::nullopt);
  EXPECT_NE(message.find("after ~1m idle."), std::string::npos);
  EXPECT_NE(message.find("marked):\n:10 ~0s\n:9 ~0s\n:8 ~0s\n:7 ~0s\n:6 ~0s\n:5 ~0s\n:4 ~1s\n"
                         ":3 ~2s\n:2 ~3s\n:1 ~4s\nIf one"),
            std::string::npos)
      << message;
  EXPECT_NE(message.find("`qrn shell cmd sh-7 classify p4q5r6-<sub> <name>`"), std::string::npos);
}

TEST(BoardStatusLine, ShowsRangeAndResumeNote) {
  StretchBoard board("k7m2qz", RESUME);
  EXPECT_EQ(board_status_line(board),
            " Live board `k7m2qz` — checkpoints :0; no resume reported yet.");
  for (std::uint64_t i = 1; i <= 3; ++i) mark_checkpoint(board, RESUME + Millis(i));
  record_resume(board, RESUME + Millis(10));
  EXPECT_EQ(board_status_line(board),
            " Live board `k7m2qz` — checkpoints :0..:3; deltas measure to the last resume.");
}

}  // namespace
}  // namespace kelvo
