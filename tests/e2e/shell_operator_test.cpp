// The operator steering the real kelvo-shell through qrn-sim's `shell cmd`, and the replies the
// agent receives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/version.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"
#include "support/shell_state.hpp"

namespace kelvo::testing {
namespace {

const std::string kRegistryTail =
    " Classify a shown checkpoint with `classify <id>-<sub> <name>` or "
    "`!!classify=<id>-<sub>:<name>!!`; `retire \"<names>\"` removes classes. — kelvo "
    "v" KELVO_VERSION;

// A started shell whose intro has arrived.
void start(ShellSession& session) {
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
}

TEST(ShellOperator, AnswersStatusBeforeAnythingHappened) {
  ShellSession session;
  start(session);
  const auto status = session.ask_status();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->from, "KELVO-0");
  EXPECT_EQ(status->flags, kActiveOnly);
  const auto fields = match_template(
      status->text,
      "⟳ **kelvo** status — latch raised; endpoint busy; timer off; backoff step 0 of 3 "
      "(re-arms at 60s). Live board `{}` — checkpoints :0; no resume reported yet. 0 classes in "
      "the registry." +
          kRegistryTail +
          "\nio: 0 frame(s), 0 AGENT_OUTPUT, 0 code(s); truncated 0 followed / 0 blind, 0 "
          "pointer(s) missed; 0 boundary(ies), 0 refused");
  EXPECT_TRUE(fields) << status->text;
}

TEST(ShellOperator, DelayMarksACheckpointAndPauseLowersTheLatchWithoutReplies) {
  ShellSession session;
  start(session);
  session.operator_command("delay", {"30"});
  const auto delayed = session.ask_status();
  ASSERT_TRUE(delayed);
  EXPECT_TRUE(delayed->text.starts_with(
      "⟳ **kelvo** status — latch raised; endpoint busy; a delay of 30m is held for the next "
      "idle edge; timer off; backoff step 0 of 3 (re-arms at 60s). Live board `"))
      << delayed->text;
  EXPECT_NE(delayed->text.find("` — checkpoints :0..:1; no resume reported yet."),
            std::string::npos)
      << delayed->text;

  session.operator_command("pause");
  const auto paused = session.ask_status();
  ASSERT_TRUE(paused);
  EXPECT_TRUE(paused->text.starts_with(
      "⟳ **kelvo** status — latch lowered (paused); endpoint busy; timer off; backoff step 0 "
      "of 3 (re-arms at 60s)."))
      << paused->text;
  EXPECT_NE(paused->text.find("` — checkpoints :0..:1;"), std::string::npos) << paused->text;
  EXPECT_EQ(session.inbox().size(), 3u);  // the intro and the two status replies
}

TEST(ShellOperator, ClassifiesAShownCheckpointAndRetiresTheClass) {
  ShellSession session;
  start(session);
  const auto board = play_quiet_stretch(session);
  ASSERT_TRUE(board);
  const std::size_t line = board->text.find("\n:0 ~");
  ASSERT_NE(line, std::string::npos) << board->text;
  const std::string shown =
      board->text.substr(line + 5, board->text.find('\n', line + 1) - line - 5);
  const auto shown_secs = parse_shown_duration(shown);
  ASSERT_TRUE(shown_secs) << board->text;

  session.operator_command("classify", {board_id(*board) + "-0", "ci_run"});
  ASSERT_TRUE(wait_until([&] {
    const auto state = read_state(session);
    return state && state->registry.contains("ci_run");
  })) << session.shell_err();
  EXPECT_EQ(read_state(session)->registry.at("ci_run").mean_secs, static_cast<double>(*shown_secs));

  session.operator_command("retire", {"ci_run", "peer_wait"});
  const auto retired = session.wait_for_message(text_starts_with("⟳ **kelvo** retired"));
  ASSERT_TRUE(retired);
  EXPECT_EQ(retired->text,
            "⟳ **kelvo** retired ci_run (~" + shown + " ×1); no class named peer_wait");
  EXPECT_EQ(retired->flags, kActiveOnly);
  const auto state = read_state(session);
  ASSERT_TRUE(state);
  EXPECT_TRUE(state->registry.empty()) << read_file(session.state_file());

  session.operator_command("retire", {"ci_run"});
  EXPECT_TRUE(
      session.wait_for_message(text_is("⟳ **kelvo** refused retire: no class named ci_run")));
  // Only the board message and the replies followed the intro and the nudge: classify is silent.
  EXPECT_EQ(session.inbox().size(), 5u);
}

TEST(ShellOperator, RefusesCommandsItCannotCarryOut) {
  ShellSession session;
  start(session);
  struct Case {
    std::string op;
    std::vector<std::string> words;
    std::string reply;
  };
  const std::vector<Case> cases = {
      {"delay", {}, "⟳ **kelvo** refused delay: needs whole minutes, e.g. `delay 30`"},
      {"delay", {"half"}, "⟳ **kelvo** refused delay: needs whole minutes, e.g. `delay 30`"},
      {"classify",
       {"abc234-2", "CI"},
       "⟳ **kelvo** refused classify: `CI` is not a class name — snake_case [a-z0-9_], ≤32 "
       "chars"},
      {"classify",
       {"abc234"},
       "⟳ **kelvo** refused classify: needs a checkpoint designator and a class name, e.g. "
       "`classify abc234-2 ci_run`"},
      {"retire", {"ci_run"}, "⟳ **kelvo** refused retire: no class named ci_run"},
      {"extend",
       {"5"},
       "⟳ **kelvo** refused extend: extend was retired in 0.5.0 — wait now extends the live "
       "stretch"},
      {"Pause", {}, "⟳ **kelvo** refused Pause: unknown op"},
  };
  for (const Case& c : cases) {
    session.operator_command(c.op, c.words);
    const auto reply = session.wait_for_message(text_is(c.reply));
    ASSERT_TRUE(reply) << c.op;
    EXPECT_EQ(reply->from, "KELVO-0");
    EXPECT_EQ(reply->flags, kActiveOnly);
  }
  // A designator of another stretch names the live one in its refusal.
  session.operator_command("classify", {"abc234-2", "ci_run"});
  const auto other_board =
      session.wait_for_message(text_starts_with("⟳ **kelvo** refused classify: no live board"));
  ASSERT_TRUE(other_board);
  const auto fields = match_template(
      other_board->text,
      "⟳ **kelvo** refused classify: no live board `abc234` — the live board is `{}`");
  EXPECT_TRUE(fields) << other_board->text;

  // Refusals change nothing: still busy, unpaused, on the first checkpoint, nothing saved.
  const auto status = session.ask_status();
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->text.starts_with(
      "⟳ **kelvo** status — latch raised; endpoint busy; timer off; backoff step 0 of 3 "
      "(re-arms at 60s). Live board `" +
      (fields ? (*fields)[0] : std::string()) + "` — checkpoints :0; no resume reported yet."))
      << status->text;
  EXPECT_FALSE(std::filesystem::exists(session.state_file()));
}

}  // namespace
}  // namespace kelvo::testing
