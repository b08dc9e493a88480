// A stop and a start on the same link and state folder change nothing the agent or a person
// sees: the session file carries the pacing, the board and what was told across.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>

#include "support/shell_script.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

struct Situation {
  std::string name;
  std::function<void(ShellSession&)> arrange;
  bool blocked = false;  // told as blocked, once in all
};

std::ostream& operator<<(std::ostream& out, const Situation& situation) {
  return out << situation.name;
}

std::size_t count_starting(const ShellSession& session, std::string_view prefix) {
  const auto inbox = session.inbox();
  return static_cast<std::size_t>(
      std::count_if(inbox.begin(), inbox.end(),
                    [&](const InboxMessage& m) { return m.text.starts_with(prefix); }));
}

// The status reply's first line with its running seconds masked: the rest must not move.
std::string status_line(ShellSession& session) {
  const auto reply = session.ask_status();
  if (!reply) return "";
  const std::string first = reply->text.substr(0, reply->text.find('\n'));
  return std::regex_replace(first, std::regex("~[0-9]+s"), "~Ns");
}

class ShellRestart : public ::testing::TestWithParam<Situation> {};

TEST_P(ShellRestart, ASigtermAndAStartChangeNothingTheAgentOrAPersonSees) {
  const Situation& situation = GetParam();
  ShellSession session;
  const auto log = session.state_dir() / "events.jsonl";
  const auto hook = write_shell_script(
      session.home(), "hook", "cat >> '" + log.string() + "'; echo >> '" + log.string() + "'\n");
  const ShellLaunch launch{
      .host = sim_program(), .extra_args = {"--on-event", hook.string()}, .extra_env = {}};
  session.start_shell(launch);
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  // A shown board with a checkpoint of a wait on it.
  session.agent_idle(120);
  session.agent_say("CI is running. !!wait=1!!");
  ASSERT_TRUE(session.wait_for_message(text_starts_with("⟳ **kelvo** — idle")));
  session.agent_busy();
  const auto board = session.wait_for_message(text_starts_with("⟳ **kelvo** stretch board `"));
  ASSERT_TRUE(board);
  situation.arrange(session);
  const std::string before = status_line(session);
  const std::size_t nudges = count_starting(session, "⟳ **kelvo** — idle");

  const ProgramRun stopped = session.stop_shell(SIGTERM);
  EXPECT_EQ(stopped.exit_code, 0);
  EXPECT_NE(stopped.err.find("kelvo-shell: stopped by SIGTERM, exiting\n"), std::string::npos)
      << stopped.err;
  const auto session_file = session.state_dir() / "sessions" / (session.owner() + ".json");
  const auto saved_at_stop = std::filesystem::last_write_time(session_file);
  session.start_shell(launch);
  std::this_thread::sleep_for(std::chrono::seconds(2));  // a few cycles, the first report in
  // Resting where it stopped, the new run has nothing to write.
  EXPECT_EQ(std::filesystem::last_write_time(session_file), saved_at_stop);

  EXPECT_EQ(status_line(session), before);
  EXPECT_EQ(count_starting(session, kIntroStart), 1u);
  EXPECT_EQ(count_starting(session, "⟳ **kelvo** — idle"), nudges);
  session.operator_command("classify", {board_id(*board) + "-1", "ci_run"});
  EXPECT_TRUE(wait_until(
      [&] { return status_line(session).find("1 class in the registry") != std::string::npos; },
      std::chrono::seconds(10)));
  const std::string told = read_file(log);
  std::size_t blocked = 0;
  for (std::size_t at = 0; (at = told.find("\"event\":\"blocked\"", at)) != std::string::npos;
       ++at) {
    ++blocked;
  }
  EXPECT_EQ(blocked, situation.blocked ? 1u : 0u) << told;
  EXPECT_EQ(session.shell_err(), "");
}

void wait_for_status(ShellSession& session, const std::string& part) {
  ASSERT_TRUE(wait_until([&] { return status_line(session).find(part) != std::string::npos; },
                         std::chrono::seconds(10)));
}

INSTANTIATE_TEST_SUITE_P(
    Situations, ShellRestart,
    ::testing::Values(Situation{"BlockedByDone",
                                [](ShellSession& s) {
                                  s.agent_idle(30);
                                  s.agent_say("I need your approval. !!done!!");
                                  wait_for_status(s, "latch lowered");
                                },
                                true},
                      Situation{"PausedByTheOperator",
                                [](ShellSession& s) {
                                  s.agent_idle(30);
                                  s.operator_command("pause");
                                  wait_for_status(s, "latch lowered");
                                }},
                      Situation{"WaitingOnAWait",
                                [](ShellSession& s) {
                                  s.agent_idle(30);
                                  s.agent_say("Waiting on the build. !!wait=30!!");
                                  wait_for_status(s, "superseded by a delay");
                                }},
                      Situation{"ADelayHeldWhileBusy",
                                [](ShellSession& s) {
                                  s.operator_command("delay", {"20"});
                                  wait_for_status(s, "a delay of 20m is held");
                                }},
                      Situation{"AShownBoard", [](ShellSession&) {}}),
    [](const ::testing::TestParamInfo<Situation>& info) { return info.param.name; });

}  // namespace
}  // namespace kelvo::testing
