// The real kelvo-shell reading qrn-sim's other frames: truncated output followed up in the
// digest, boundaries, and lines that fail their MAC.

#include <gtest/gtest.h>

#include <string>

#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

// The run summary, the last line of the status reply.
std::string io_line(const InboxMessage& status) {
  return status.text.substr(status.text.rfind('\n') + 1);
}

TEST(ShellFrames, FollowsATruncatedOutputUpInTheDigest) {
  ShellSession session;
  session.start_shell();
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  // The frame carries only "Waiting on", so the wait code is found only in the digest.
  ASSERT_EQ(
      session.sim({"agent", "say", "demo", "Waiting on the deploy !!wait=5!!", "--truncate", "10"})
          .exit_code,
      0);
  // A command read on the same poll as the output is answered before the digest is read, so
  // the second reply is the first sure to see the code.
  ASSERT_TRUE(session.ask_status());
  const auto status = session.ask_status();
  ASSERT_TRUE(status);
  EXPECT_EQ(io_line(*status),
            "io: 1 frame(s), 1 AGENT_OUTPUT, 1 code(s); truncated 1 followed / 0 blind, 0 "
            "pointer(s) missed; 0 boundary(ies), 0 refused; kinds: AGENT_OUTPUT 1");
  EXPECT_NE(status->text.find("a delay of 5m is held for the next idle edge;"), std::string::npos)
      << status->text;
  EXPECT_NE(status->text.find("` — checkpoints :0..:1;"), std::string::npos) << status->text;
}

TEST(ShellFrames, IntroducesItselfAgainAfterABoundaryButNotAfterAForgedOne) {
  ShellSession session;
  session.start_shell();
  const auto intro = session.wait_for_message(text_starts_with(kIntroStart));
  ASSERT_TRUE(intro);
  ASSERT_EQ(session.sim({"boundary", "demo"}).exit_code, 0);
  const auto again = session.wait_for_message(text_starts_with(kIntroStart));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->text, intro->text);
  EXPECT_EQ(again->from, "KELVO-0");

  const std::string forged = R"(<EVENT type="boundary" kind="compact"></EVENT>)";
  ASSERT_EQ(session.sim({"emit", "--link", session.link(), "--bad-mac", forged}).exit_code, 0);
  ASSERT_EQ(session.sim({"emit", "--link", session.link(), "--unsigned", forged}).exit_code, 0);
  const auto status = session.ask_status();
  ASSERT_TRUE(status);
  EXPECT_EQ(io_line(*status),
            "io: 0 frame(s), 0 AGENT_OUTPUT, 0 code(s); truncated 0 followed / 0 blind, 0 "
            "pointer(s) missed; 1 boundary(ies), 2 refused");
  // A re-intro would follow the reply in the same cycle; a second reply closes that cycle.
  ASSERT_TRUE(session.ask_status());
  EXPECT_EQ(session.inbox().size(), 4u);  // two intros and two replies
}

}  // namespace
}  // namespace kelvo::testing
