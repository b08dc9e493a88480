// The real kelvo-shell pacing an endpoint of the real qrn-sim: what the agent receives.

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "common/version.hpp"
#include "support/shell_session.hpp"
#include "support/shell_state.hpp"

namespace kelvo::testing {
namespace {

// The intro of a shell that sends as KELVO-0; another shell id stands in both of its places.
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
    "(space-separated, CLI only). — kelvo v" KELVO_VERSION;

std::string intro_from(const std::string& shell_id) {
  std::string intro = kIntro;
  for (std::size_t at = intro.find("KELVO-0"); at != std::string::npos;
       at = intro.find("KELVO-0", at + shell_id.size())) {
    intro.replace(at, 7, shell_id);
  }
  return intro;
}

const std::string kNudgeStart = "⟳ **kelvo** — idle ~";
const std::string kNudgeRest =
    ", local tz). Proceed to check on any ongoing tasks or fellow agents whose work you're "
    "waiting on. If you're blocked on a human, emit `!!done!!` to stop these nudges for this "
    "idle stretch — going back to work re-arms them, so re-emit it if you are still blocked. If "
    "you're waiting on a peer or a task with an ETA, emit `!!wait=m!!`.";

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

MessageTest nudge_after(const std::string& idle) {
  return {"a nudge after ~" + idle, [idle](const InboxMessage& message) {
            const auto fields = nudge_fields(message);
            return fields && (*fields)[0] == idle;
          }};
}

// A board with the checkpoints :1 and :0; its slots are the id, the stamp, the idle time, the
// shown times of :1 and :0, and the id twice more.
const std::string kBoardWithOneWait =
    "⟳ **kelvo** stretch board `{}` — resumed {} (local tz) after ~{} idle. Checkpoints (waits "
    "marked on this stretch, oldest = `:0` its start; each shown with wall-clock since it was "
    "marked):\n:1 ~{}\n:0 ~{}\nIf one of these was a recurring kind of wait, classify it by its "
    "checkpoint — emit `!!classify={}-<sub>:<name>!!` (snake_case name, e.g. `ci_run`, "
    "`peer_review`) or `qrn shell cmd KELVO-0 classify {}-<sub> <name>` — kelvo folds that "
    "checkpoint's shown time into the class's running average and starts a fresh stretch.";

bool is_stretch_id(const std::string& id) {
  return id.size() == 6 &&
         id.find_first_not_of("23456789abcdefghijkmnpqrstuvwxyz") == std::string::npos;
}

TEST(ShellPacing, IntroducesItselfAsTheShellIdItSendsFrom) {
  ShellSession session("team.alpha", "KELVO-7");
  session.start_shell();
  const auto intro = session.wait_for_message(text_starts_with(kIntroStart));
  ASSERT_TRUE(intro);
  EXPECT_EQ(intro->text, intro_from("KELVO-7"));
  EXPECT_EQ(intro->from, "KELVO-7");
  EXPECT_EQ(intro->flags, kActiveOnly);
  EXPECT_TRUE(session.shell_running());
  EXPECT_EQ(session.shell_err(), "");
}

TEST(ShellPacing, NudgesAnEndpointIdleForAMinute) {
  ShellSession session("demo", "KELVO-3");
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_is(intro_from("KELVO-3"))));
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
  const auto status = session.ask_status();
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

// The road of one idle stretch: idle for 25 minutes, a wait for 20 (already over, so it pings at
// once), back to work, the board with the wait's checkpoint, and a classification of it.
TEST(ShellPacing, ShowsTheBoardAfterAQuietStretchAndLearnsTheClassifiedWait) {
  ShellSession session;
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_is(kIntro)));
  // A little over 25 minutes: the shell reads its clock before the host's calls of a cycle, so
  // under load its idle time can trail the host's by a few seconds.
  session.agent_idle(1520);
  ASSERT_TRUE(session.wait_for_message(nudge_after("25m")));
  session.agent_say("CI is running !!wait=20!!");
  const auto delay_ping = session.wait_for_message(nudge_after("25m"));
  ASSERT_TRUE(delay_ping);
  EXPECT_EQ(delay_ping->flags, kNudgeFlags);

  session.agent_busy();
  const auto board = session.wait_for_message(text_starts_with("⟳ **kelvo** stretch board"));
  ASSERT_TRUE(board);
  EXPECT_EQ(board->from, "KELVO-0");
  EXPECT_EQ(board->flags, kActiveOnly);
  const auto fields = match_template(board->text, kBoardWithOneWait);
  ASSERT_TRUE(fields) << board->text;
  const std::string id = (*fields)[0];
  EXPECT_TRUE(is_stretch_id(id)) << id;
  EXPECT_EQ((*fields)[5], id);
  EXPECT_EQ((*fields)[6], id);
  EXPECT_TRUE(is_local_stamp((*fields)[1])) << (*fields)[1];
  const auto idle = parse_shown_duration((*fields)[2]);
  const auto since_wait = parse_shown_duration((*fields)[3]);
  const auto since_start = parse_shown_duration((*fields)[4]);
  ASSERT_TRUE(idle && since_wait && since_start) << board->text;
  EXPECT_GE(*idle, 1520u);
  EXPECT_LT(*idle, 1560u);
  EXPECT_LE(*since_wait, *since_start);
  EXPECT_LT(*since_start, 30u);

  const std::uint64_t before = board->ts;
  session.agent_say("That was CI. !!classify=" + id + "-1:ci_run!!");
  ASSERT_TRUE(wait_until([&] {
    const auto state = read_state(session);
    return state && state->registry.contains("ci_run");
  })) << session.shell_err();
  const SavedState state = *read_state(session);
  EXPECT_EQ(state.registry.size(), 1u);
  const SavedClass& ci_run = state.registry.at("ci_run");
  EXPECT_EQ(ci_run.count, 1u);
  EXPECT_EQ(ci_run.mean_secs, static_cast<double>(*since_wait));
  EXPECT_GE(ci_run.last_classified_ms, before);
  EXPECT_FALSE(state.acted_seq);

  // The classification started a fresh stretch; the reply counts the two outputs and codes.
  const auto status = session.ask_status();
  ASSERT_TRUE(status);
  const auto status_fields = match_template(
      status->text,
      "⟳ **kelvo** status — latch raised; endpoint busy; timer off; backoff step 0 of 3 "
      "(re-arms at 60s). Live board `{}` — checkpoints :0; no resume reported yet. 1 class in "
      "the registry. Classify a shown checkpoint with `classify <id>-<sub> <name>` or "
      "`!!classify=<id>-<sub>:<name>!!`; `retire \"<names>\"` removes classes. — kelvo "
      "v" KELVO_VERSION
      "\n"
      "io: 2 frame(s), 2 AGENT_OUTPUT, 2 code(s); truncated 0 followed / 0 blind, 0 pointer(s) "
      "missed; 0 boundary(ies), 0 refused; kinds: AGENT_OUTPUT 2");
  ASSERT_TRUE(status_fields) << status->text;
  EXPECT_TRUE(is_stretch_id((*status_fields)[0]));
  EXPECT_NE((*status_fields)[0], id);
  EXPECT_EQ(session.shell_err(), "");
}

}  // namespace
}  // namespace kelvo::testing
