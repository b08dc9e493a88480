#include "board/stretch_board.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {
namespace {

constexpr WallTime T0 = at_epoch_ms(1765112700000);  // 2025-12-07 13:05:00 UTC

constexpr Millis ms(std::uint64_t count) { return Millis(count); }

// The refusal's reason, or nothing when the classification went through.
std::optional<std::string> refusal(const Result<void>& classified) {
  if (classified) return std::nullopt;
  return classified.failure().reason;
}

std::vector<std::uint32_t> subs(const StretchBoard& board) {
  std::vector<std::uint32_t> out;
  for (const Checkpoint& c : board.checkpoints) out.push_back(c.sub);
  return out;
}

// A board with ten marks one minute apart after its start, shown five seconds after the last.
// Its id holds letters outside the id alphabet, so no freshly drawn id can equal it.
StretchBoard rolled_off_board() {
  StretchBoard board("live01", T0);
  for (std::uint64_t i = 1; i <= 10; ++i) mark_checkpoint(board, T0 + ms(i * 60000));
  record_resume(board, T0 + ms(10 * 60000 + 5000));
  return board;
}

TEST(StretchBoard, StartsWithOnlyItsStart) {
  const StretchBoard board("k7m2qz", T0);
  EXPECT_EQ(board.id, "k7m2qz");
  EXPECT_EQ(board.checkpoints, (std::deque<Checkpoint>{{T0, 0}}));
  EXPECT_EQ(board.next_sub, 1u);
  EXPECT_FALSE(board.last_resume);
  EXPECT_EQ(shown_secs(board, 0), ShownSecs(BoardLookupError::NoResumeYet));
}

TEST(StretchBoard, KeepsTheTenMostRecentMarks) {
  StretchBoard board("live01", T0);
  for (std::uint64_t i = 1; i <= 9; ++i) mark_checkpoint(board, T0 + ms(i));
  EXPECT_EQ(subs(board), (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  mark_checkpoint(board, T0 + ms(10));
  EXPECT_EQ(subs(board), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(board.checkpoints.back(), (Checkpoint{T0 + ms(10), 10}));
  EXPECT_EQ(board.next_sub, 11u);
}

TEST(StretchBoard, ShowsWholeSecondsToTheLastResume) {
  StretchBoard board("live01", T0);
  mark_checkpoint(board, T0 + ms(1000));
  record_resume(board, T0 + ms(61999));
  EXPECT_EQ(shown_secs(board, 0), ShownSecs(Seconds{61}));
  EXPECT_EQ(shown_secs(board, 1), ShownSecs(Seconds{60}));
  EXPECT_EQ(shown_secs(board, 2), ShownSecs(BoardLookupError::NotOnBoard));

  // A mark after the resume shows nothing, and earlier ones do not grow with it.
  mark_checkpoint(board, T0 + ms(90000));
  EXPECT_EQ(shown_secs(board, 2), ShownSecs(Seconds{0}));
  EXPECT_EQ(shown_secs(board, 0), ShownSecs(Seconds{61}));

  record_resume(board, T0 + ms(90999));
  EXPECT_EQ(shown_secs(board, 2), ShownSecs(Seconds{0}));
  EXPECT_EQ(shown_secs(board, 0), ShownSecs(Seconds{90}));
}

TEST(StretchBoard, StopsMarkingAtTheLastSubNumber) {
  StretchBoard board("live01", T0);
  board.next_sub = 4294967294u;
  mark_checkpoint(board, T0 + ms(1));
  mark_checkpoint(board, T0 + ms(2));
  EXPECT_EQ(subs(board), (std::vector<std::uint32_t>{0, 4294967294u, 4294967295u}));
  EXPECT_FALSE(board.next_sub);

  mark_checkpoint(board, T0 + ms(3));
  EXPECT_EQ(subs(board), (std::vector<std::uint32_t>{0, 4294967294u, 4294967295u}));
  EXPECT_EQ(board.checkpoints.back().marked_at, T0 + ms(2));
}

TEST(ClassifyCheckpoint, RefusesInOrderAndChangesNothing) {
  struct Case {
    const char* what;
    StretchBoard board;
    Designator designator;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"other id before any resume",
       StretchBoard("live01", T0),
       {"abc234", 0},
       "no live board `abc234` — the live board is `live01`"},
      {"other id differing only in case",
       rolled_off_board(),
       {"LIVE01", 1},
       "no live board `LIVE01` — the live board is `live01`"},
      {"no resume yet", StretchBoard("live01", T0), {"live01", 0}, "no reported checkpoint yet"},
      {"no resume yet, sub never marked",
       StretchBoard("live01", T0),
       {"live01", 7},
       "no reported checkpoint yet"},
      {"rolled off",
       rolled_off_board(),
       {"live01", 0},
       "no checkpoint `:0` on board `live01` — rolled off or never marked"},
      {"never marked",
       rolled_off_board(),
       {"live01", 11},
       "no checkpoint `:11` on board `live01` — rolled off or never marked"},
  };
  for (const Case& c : cases) {
    StretchBoard board = c.board;
    OwnerState state;
    state.registry["ci_run"] = ClassStat{2, 300.0, epoch_ms(T0) - 5};
    const OwnerState before = state;
    EXPECT_EQ(refusal(classify_checkpoint(board, state, c.designator, "ci_run", T0 + ms(999999),
                                          "fresh1")),
              c.message)
        << c.what;
    EXPECT_EQ(state, before) << c.what;
    EXPECT_EQ(board.id, c.board.id) << c.what;
    EXPECT_EQ(board.checkpoints, c.board.checkpoints) << c.what;
    EXPECT_EQ(board.next_sub, c.board.next_sub) << c.what;
    EXPECT_EQ(board.last_resume, c.board.last_resume) << c.what;
  }
}

TEST(ClassifyCheckpoint, FoldsTheShownTimeAndStartsAFreshStretch) {
  StretchBoard board = rolled_off_board();
  OwnerState state;
  state.registry["ci_run"] = ClassStat{1, 100.0, epoch_ms(T0) - 5};
  const WallTime now = T0 + ms(3600000);

  // :3 was marked at T0 + 3 min and shown at T0 + 10 min 5 s: 425 s.
  EXPECT_EQ(refusal(classify_checkpoint(board, state, {"live01", 3}, "ci_run", now, "fresh1")),
            std::nullopt);
  EXPECT_EQ(state.registry.at("ci_run"), (ClassStat{2, 262.5, epoch_ms(now)}));
  EXPECT_EQ(state.registry.size(), 1u);

  EXPECT_EQ(board.id, "fresh1");
  EXPECT_EQ(board.checkpoints, (std::deque<Checkpoint>{{now, 0}}));
  EXPECT_FALSE(board.last_resume);
  mark_checkpoint(board, now + ms(1));
  EXPECT_EQ(subs(board), (std::vector<std::uint32_t>{0, 1}));

  // The old stretch is gone: its id no longer names the live board.
  EXPECT_EQ(refusal(classify_checkpoint(board, state, {"live01", 3}, "ci_run", now + ms(2), "x")),
            "no live board `live01` — the live board is `fresh1`");
}

}  // namespace
}  // namespace kelvo
