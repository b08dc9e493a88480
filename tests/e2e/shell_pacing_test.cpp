// The real kelvo-shell pacing an endpoint of the real qrn-sim: what the agent receives.

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

const std::string kIntro =
    "⟳ **kelvo** is pacing this endpoint: if you go idle for >60s a ping will nudge you back. "
    "Steer it with inline codes — emit `!!done!!` when you're blocked on a human, or "
    "`!!wait=m!!` when you're waiting on a peer or a task with an ETA (m minutes). `!!done!!` "
    "covers this idle stretch only: anything that puts you back to work — a peer message "
    "included — re-arms the pacing, so re-emit it if you are still blocked. Every message your "
    "kelvo sends arrives from `KELVO-0` — that sender is this shell, never a fellow agent. kelvo "
    "also keeps one stretch board: the live stretch runs until you classify it, each "
    "`!!wait=m!!` marks a checkpoint (`:1`, `:2`, … — `:0` is its start), and when a quiet "
    "stretch of ≥60s ends you get the board: its stretch id and each checkpoint's time since it "
    "was marked. Classify a recurring kind of wait by its checkpoint — "
    "`!!classify=<id>-<sub>:<name>!!` (snake_case name) — and kelvo folds that checkpoint's "
    "shown time into the class's running average (kept across restarts) and starts a fresh "
    "stretch. Retire classes you no longer track with `qrn shell cmd KELVO-0 retire \"<names>\"` "
    "(space-separated, CLI only). — kelvo v0.6.1";

const std::string kNudgeStart = "⟳ **kelvo** — idle ~";
const std::string kNudgeRest =
    ", local tz). Proceed to check on any ongoing tasks or fellow agents whose work you're "
    "waiting on. If you're blocked on a human, emit `!!done!!` to stop these nudges for this "
    "idle stretch — going back to work re-arms them, so re-emit it if you are still blocked. If "
    "you're waiting on a peer or a task with an ETA, emit `!!wait=m!!`.";

const std::vector<std::string> kActiveOnly = {"--active-only"};
const std::vector<std::string> kNudgeFlags = {"--idle-only", "--ephemeral"};

// "14:05 2026-12-07"
bool is_local_stamp(const std::string& stamp) {
  const std::string shape = "dd:dd dddd-dd-dd";
  if (stamp.size() != shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(stamp[i]))
                        : stamp[i] != shape[i]) {
      return false;
    }
  }
  return true;
}

// The nudge's idle text and stamp, or nothing when the text is not a nudge.
std::optional<std::vector<std::string>> nudge_fields(const InboxMessage& message) {
  return match_template(message.text, kNudgeStart + "{} (as of {}" + kNudgeRest);
}

TEST(ShellPacing, IntroducesItselfAsItsShellIdButNamesKelvo0) {
  ShellSession session("team.alpha", "KELVO-7");
  session.start_shell();
  const auto intro = session.wait_for_message(text_starts_with("⟳ **kelvo** is pacing"));
  ASSERT_TRUE(intro);
  EXPECT_EQ(intro->text, kIntro);
  EXPECT_EQ(intro->from, "KELVO-7");
  EXPECT_EQ(intro->flags, kActiveOnly);
  EXPECT_TRUE(session.shell_running());
  EXPECT_EQ(session.shell_err(), "");
}

TEST(ShellPacing, NudgesAnEndpointIdleForAMinute) {
  ShellSession session("demo", "KELVO-3");
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_is(kIntro)));
  session.agent_idle(61);
  const auto nudge = session.wait_for_message(text_starts_with(kNudgeStart));
  ASSERT_TRUE(nudge);
  EXPECT_TRUE(nudge->text.starts_with("⟳ **kelvo** — idle ~1m (as of ")) << nudge->text;
  const auto fields = nudge_fields(*nudge);
  ASSERT_TRUE(fields) << nudge->text;
  EXPECT_EQ((*fields)[0], "1m");
  EXPECT_TRUE(is_local_stamp((*fields)[1])) << (*fields)[1];
  EXPECT_EQ(nudge->from, "KELVO-3");
  EXPECT_EQ(nudge->flags, kNudgeFlags);

  // The ping re-armed the timer two minutes on: the status reply tells, and no second nudge
  // came in the cycles between.
  session.operator_command("status");
  const auto status = session.wait_for_message(text_starts_with("⟳ **kelvo** status"));
  ASSERT_TRUE(status);
  const auto machine = match_template(
      status->text.substr(0, status->text.find(" Live board")),
      "⟳ **kelvo** status — latch raised; endpoint idle, idle ~{}s; timer armed, next ping in "
      "~{}s; backoff step 1 of 3 (re-arms at 120s).");
  ASSERT_TRUE(machine) << status->text;
  EXPECT_GE(std::stoi((*machine)[1]), 110);
  EXPECT_LE(std::stoi((*machine)[1]), 120);
  EXPECT_EQ(session.inbox().size(), 3u);
}

}  // namespace
}  // namespace kelvo::testing
