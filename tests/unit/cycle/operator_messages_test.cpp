#include "cycle/operator_messages.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "common/utf8.hpp"
#include "common/version.hpp"

namespace kelvo {
namespace {

// Typed text drifts into typographic quotes or stray symbols unnoticed; the intro holds ASCII
// apostrophes and, beyond ASCII, only the arrow, the em dash, the ellipsis and the ≥ sign. The
// full stop of its last sentence is followed by the version tag alone.
TEST(IntroMessage, HoldsOnlyItsOwnCharactersAndEndsWithTheVersionTag) {
  const std::string intro = intro_message("KELVO-0");
  ASSERT_TRUE(is_valid_utf8(intro));
  std::set<char32_t> beyond_ascii;
  for (std::size_t at = 0; at < intro.size();) {
    const Utf8Step step = decode_utf8_step(intro, at);
    if (step.code_point > 0x7F) beyond_ascii.insert(step.code_point);
    at += step.length;
  }
  EXPECT_EQ(beyond_ascii, (std::set<char32_t>{0x27F3, 0x2014, 0x2026, 0x2265}));
  EXPECT_TRUE(intro.ends_with("CLI only). \xE2\x80\x94 kelvo v" KELVO_VERSION));
}

TEST(IntroMessage, JoinsTheSevenSentencesAndEndsWithTheVersion) {
  const std::string retire =
      R"(Retire classes you no longer track with `qrn shell cmd KELVO-0 retire "<names>"` )"
      "(space-separated, CLI only).";
  const std::string expected =
      "⟳ **kelvo** is pacing this endpoint: if you go idle for >60s a ping will nudge you back. "
      "Steer it with inline codes — emit `!!done!!` when you're blocked on a human, or "
      "`!!wait=m!!` when you're waiting on a peer or a task with an ETA (m minutes). "
      "`!!done!!` covers this idle stretch only: anything that puts you back to work — a peer "
      "message included — re-arms the pacing, so re-emit it if you are still blocked. "
      "Every message your kelvo sends arrives from `KELVO-0` — that sender is this shell, never "
      "a fellow agent. "
      "kelvo also keeps one stretch board: the live stretch runs until you classify it, each "
      "`!!wait=m!!` marks a checkpoint (`:1`, `:2`, … — `:0` is its start), and when a quiet "
      "stretch of ≥60s ends you get the board: its stretch id and each checkpoint's time since "
      "it was marked. "
      "Classify a recurring kind of wait by its checkpoint — "
      "`!!classify=<id>-<sub>:<name>!!` (snake_case name) — and kelvo folds that checkpoint's "
      "shown time into the class's running average (kept across restarts) and starts a fresh "
      "stretch. " +
      retire + " — kelvo v" KELVO_VERSION;
  EXPECT_EQ(intro_message("KELVO-0"), expected);
  EXPECT_EQ(intro_message(std::nullopt), expected);
}

TEST(IntroMessage, NamesTheShellIdItSendsFrom) {
  const std::string intro = intro_message("KELVO-3");
  EXPECT_NE(intro.find("arrives from `KELVO-3` — that sender is this shell"), std::string::npos);
  EXPECT_NE(intro.find("`qrn shell cmd KELVO-3 retire \"<names>\"`"), std::string::npos);
  EXPECT_EQ(intro.find("KELVO-0"), std::string::npos);
}

TEST(NudgeMessage, PutsTheCoarseIdleTimeAndTheStampIntoTheText) {
  EXPECT_EQ(nudge_message(Millis(90061000), "09:05 2026-03-07"),
            "⟳ **kelvo** — idle ~25h1m (as of 09:05 2026-03-07, local tz). Proceed to check on "
            "any ongoing tasks or fellow agents whose work you're waiting on. If you're blocked on "
            "a human, emit `!!done!!` to stop these nudges for this idle stretch — going back to "
            "work re-arms them, so re-emit it if you are still blocked. If you're waiting on a "
            "peer or a task with an ETA, emit `!!wait=m!!`.");
  EXPECT_TRUE(
      nudge_message(Millis(60999), "00:00 2026-01-01").starts_with("⟳ **kelvo** — idle ~1m (as"));
}

}  // namespace
}  // namespace kelvo
