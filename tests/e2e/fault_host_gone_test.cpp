// The host program disappears while the shell runs, and comes back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "frame/frame_mac.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

const std::string kDropped = "kelvo-shell: send dropped (spawn failed)\n";

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Delegates every call to qrn-sim, except one poll: when `frames` exists it answers with that
// file and then renames the host away, so every later call of the shell fails to start.
std::filesystem::path vanishing_host(const std::filesystem::path& dir) {
  const std::string frames = (dir / "frames").string();
  return write_shell_script(dir, "qrn",
                            "if [ \"$4\" = poll ] && [ -e '" + frames + "' ]; then\n  cat '" +
                                frames + "'\n  rm '" + frames + "'\n  mv \"$0\" \"$0.away\"\n" +
                                "  exit 0\nfi\nexec '" + sim_program().string() + "' \"$@\"\n");
}

TEST(FaultHostGone, DropsEverySendWhileTheHostIsMissingAndPicksUpWhenItReturns) {
  TempDir dir;
  const std::filesystem::path host = vanishing_host(dir.path());
  ShellSession session;
  session.start_shell({.host = host, .extra_args = {}, .extra_env = {}});
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));

  // Idle for 55 s: the first nudge falls due about five seconds from now, while the host is gone.
  // The status reply is built before the cycle's drive-poll, so ask until it tells idle.
  session.agent_idle(55);
  ASSERT_TRUE(wait_until([&] {
    const auto reply = session.ask_status();
    return reply && reply->text.find("endpoint idle") != std::string::npos;
  }));

  // The last poll before the host vanishes asks for two replies and holds a boundary (a
  // re-intro): three sends in the same cycle, each of which now fails to start.
  const std::string status = R"(<EVENT type="shell_command" op="status">{}</EVENT>)";
  const std::string boundary = R"(<EVENT type="boundary" kind="compact"></EVENT>)";
  {
    std::ofstream frames(dir.path() / "frames.part", std::ios::binary);
    for (const std::string& frame : {status, status, boundary}) {
      frames << *sign_frame(frame, session.link()) << "\n";
    }
  }
  std::filesystem::rename(dir.path() / "frames.part", dir.path() / "frames");
  const std::filesystem::path away = host.string() + ".away";
  ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(away); }));
  ASSERT_TRUE(wait_until([&] { return count_of(session.shell_err(), kDropped) >= 3; }))
      << session.shell_err();
  // The loop goes on without a host: the nudge falls due and is dropped too.
  ASSERT_TRUE(wait_until([&] { return count_of(session.shell_err(), kDropped) >= 4; },
                         std::chrono::seconds(15)))
      << session.shell_err();
  EXPECT_TRUE(session.shell_running());

  std::filesystem::rename(away, host);
  const auto reply = session.ask_status();
  ASSERT_TRUE(reply);
  // The dropped nudge still moved the schedule on, and the boundary of the last poll counted.
  EXPECT_NE(reply->text.find("; backoff step 1 of 3 (re-arms at 120s)."), std::string::npos)
      << reply->text;
  EXPECT_TRUE(reply->text.ends_with(
      "\nio: 0 frame(s), 0 AGENT_OUTPUT, 0 code(s); truncated 0 followed / 0 blind, 0 pointer(s) "
      "missed; 1 boundary(ies), 0 refused"))
      << reply->text;

  EXPECT_EQ(session.shell_err(), kDropped + kDropped + kDropped + kDropped);
  // What reached the agent: the intro and the status replies asked for through qrn-sim; the
  // dropped replies, re-intro and nudge are lost, not sent late.
  const auto inbox = session.inbox();
  ASSERT_FALSE(inbox.empty());
  EXPECT_TRUE(inbox[0].text.starts_with(kIntroStart));
  for (std::size_t i = 1; i < inbox.size(); ++i) {
    EXPECT_TRUE(inbox[i].text.starts_with("⟳ **kelvo** status")) << inbox[i].text;
  }
}

}  // namespace
}  // namespace kelvo::testing
