// How a real kelvo-shell run ends, and what the next run finds again.

#include <gtest/gtest.h>

#include <string>

#include "support/shell_session.hpp"
#include "support/shell_state.hpp"

namespace kelvo::testing {
namespace {

TEST(ShellLifecycle, ExitsCleanlyOnceItsLinkIsRevoked) {
  ShellSession session("demo", "KELVO-5");
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  ASSERT_EQ(session.sim({"link", "revoke", session.link()}).exit_code, 0);
  const auto run = session.wait_for_shell_exit();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->exit_code, 0);
  EXPECT_EQ(
      run->err,
      "kelvo-shell: link no longer held by KELVO-5 — the host says it was revoked; make a new "
      "link to pace the agent again; exiting\n");
  EXPECT_EQ(run->out, "");
}

TEST(ShellLifecycle, ASecondShellOnTheLinkSupersedesTheFirst) {
  ShellSession session;
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  RunningProgram second({shell_program().string(), "--link", session.link(), "--qrn",
                         sim_program().string(), "--state-dir", session.state_dir().string()},
                        session.env());
  const auto first = session.wait_for_shell_exit();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->exit_code, 0);
  EXPECT_EQ(
      first->err,
      "kelvo-shell: link no longer held by KELVO-0 — taken over by shell KELVO-1, which paces "
      "the agent now; exiting\n");

  // The newer shell carries on under the next id, and the operator reaches it there.
  const auto intro = session.wait_for_message(text_starts_with(kIntroStart));
  ASSERT_TRUE(intro);
  EXPECT_EQ(intro->from, "KELVO-1");
  ASSERT_EQ(session.sim({"shell", "cmd", "KELVO-1", "status"}).exit_code, 0);
  const auto status = session.wait_for_message(text_starts_with("⟳ **kelvo** status"));
  ASSERT_TRUE(status);
  EXPECT_EQ(status->from, "KELVO-1");
  EXPECT_TRUE(second.running());
  EXPECT_EQ(second.stop().err, "");
}

TEST(ShellLifecycle, ARestartedShellFindsTheRegistryAgain) {
  ShellSession session;
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  const auto board = play_quiet_stretch(session);
  ASSERT_TRUE(board);
  session.operator_command("classify", {board_id(*board) + "-0", "deploy_wait"});
  ASSERT_TRUE(wait_until([&] {
    const auto state = read_state(session);
    return state && state->registry.contains("deploy_wait");
  })) << session.shell_err();
  EXPECT_EQ(session.stop_shell().err, "");

  session.new_link();
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  const auto status = session.ask_status();
  ASSERT_TRUE(status);
  EXPECT_NE(status->text.find(" 1 class in the registry."), std::string::npos) << status->text;
  EXPECT_NE(status->text.find("\nio: 0 frame(s),"), std::string::npos) << status->text;
  EXPECT_EQ(read_state(session)->registry.at("deploy_wait").count, 1u);
}

}  // namespace
}  // namespace kelvo::testing
