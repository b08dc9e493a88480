// The real kelvo-shell under a stand-in service manager: what it sends to NOTIFY_SOCKET.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "support/notify_socket.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

const std::string kRevoked =
    "kelvo-shell: link no longer held by KELVO-0 — the host says it was revoked; make a new link "
    "to "
    "pace the agent again; exiting\n";

// qrn-sim behind a script that adds a line to `polls` for each poll: one a cycle.
class PollCountingHost {
 public:
  PollCountingHost()
      : program_(write_shell_script(dir_.path(), "qrn",
                                    "[ \"$4\" = poll ] && echo >> '" + polls_file().string() +
                                        "'\nexec '" + sim_program().string() + "' \"$@\"\n")) {}

  const std::filesystem::path& program() const { return program_; }
  std::size_t polls() const { return split_lines(read_file(polls_file())).size(); }

 private:
  std::filesystem::path polls_file() const { return dir_.path() / "polls"; }

  TempDir dir_;
  std::filesystem::path program_;
};

// A service manager this test runs under must not hear from the shells, nor lend them its
// watchdog settings.
void leave_outer_manager() {
  for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"}) unsetenv(name);
}

// The shells run with TZ=UTC0, so their local times are these.
std::string utc_time_of_day(std::uint64_t ms) {
  const std::uint64_t secs = ms / 1000 % 86400;
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", static_cast<unsigned>(secs / 3600),
                static_cast<unsigned>(secs / 60 % 60), static_cast<unsigned>(secs % 60));
  return text;
}

// When the endpoint's current activity began, as qrn-sim reports it.
std::uint64_t activity_since(const ShellSession& session) {
  const auto endpoint =
      nlohmann::json::parse(read_file(session.home() / "endpoints" / (session.owner() + ".json")));
  return endpoint.at("since").get<std::uint64_t>();
}

std::vector<std::string> statuses(const std::vector<std::string>& notifications) {
  std::vector<std::string> values;
  for (const std::string& notification : notifications) {
    for (const std::string_view line : split_lines(notification)) {
      if (line.starts_with("STATUS=")) values.emplace_back(line.substr(7));
    }
  }
  return values;
}

// Walks the status lines in the order they were sent.
class StatusFollower {
 public:
  explicit StatusFollower(NotifySocket& socket) : socket_(socket) {}

  // The slots of the first status after the last one found that fits `pattern` (see
  // match_template); on timeout the test fails with every status so far.
  std::optional<std::vector<std::string>> next(const std::string& pattern) {
    std::vector<std::string> seen;
    std::optional<std::vector<std::string>> slots;
    const bool found = wait_until([&] {
      seen = statuses(socket_.received());
      for (; !slots && next_ < seen.size(); ++next_) slots = match_template(seen[next_], pattern);
      return slots.has_value();
    });
    if (!found) {
      ADD_FAILURE() << "no status \"" << pattern << "\" after #" << next_ << " of:\n"
                    << ::testing::PrintToString(seen);
    }
    return slots;
  }

 private:
  NotifySocket& socket_;
  std::size_t next_ = 0;
};

TEST(ServiceNotify, ReadyStatusWatchdogAndStoppingFollowTheRun) {
  leave_outer_manager();
  ShellSession session;
  const PollCountingHost host;
  NotifySocket manager;
  session.start_shell({.host = host.program(),
                       .extra_args = {},
                       .extra_env = {{"NOTIFY_SOCKET", manager.path().string()},
                                     {"WATCHDOG_USEC", "300000000"},
                                     {"TZ", "UTC0"}}});

  // READY=1 comes once bound with the intro sent, together with the first status.
  ASSERT_TRUE(wait_until([&] { return !manager.received().empty(); })) << session.shell_err();
  const auto inbox = session.inbox();
  ASSERT_EQ(inbox.size(), 1u);
  EXPECT_TRUE(inbox[0].text.starts_with(kIntroStart));
  const std::string ready = manager.received()[0];
  const auto ready_slots = match_template(ready,
                                          "READY=1\nSTATUS=demo: busy (no report yet); no nudge "
                                          "while busy; board {} :0; 0 classes; host calls ok");
  ASSERT_TRUE(ready_slots) << ready;
  const std::string board = (*ready_slots)[0];
  const std::string tail = "; 0 classes; host calls ok";

  StatusFollower status(manager);
  const std::string busy = utc_time_of_day(activity_since(session));
  EXPECT_TRUE(status.next("demo: busy since " + busy + "; no nudge while busy; board " + board +
                          " :0" + tail));

  session.agent_idle(120);
  const std::uint64_t idle_ms = activity_since(session);
  const std::string idle = "demo: idle since " + utc_time_of_day(idle_ms);
  EXPECT_TRUE(status.next(idle + "; next nudge {}; board " + board + " :0" + tail));
  ASSERT_TRUE(session.wait_for_message(text_starts_with("⟳ **kelvo** — idle ~")));
  session.agent_say("CI is running !!wait=20!!");
  EXPECT_TRUE(status.next(idle + "; next nudge " + utc_time_of_day(idle_ms + 20 * 60000) +
                          "; board " + board + " :0 :1" + tail));

  session.agent_busy();
  ASSERT_TRUE(session.wait_for_message(text_starts_with("⟳ **kelvo** stretch board `")));
  const std::string back = "demo: busy since " + utc_time_of_day(activity_since(session));
  EXPECT_TRUE(status.next(back + "; no nudge while busy; board " + board + " :0 :1" + tail));
  session.operator_command("classify", {board + "-1", "ci_run"});
  const auto fresh =
      status.next(back + "; no nudge while busy; board {} :0; 1 class; host calls ok");
  ASSERT_TRUE(fresh);
  EXPECT_NE((*fresh)[0], board);

  ASSERT_EQ(session.sim({"link", "revoke", session.link()}).exit_code, 0);
  const auto run = session.wait_for_shell_exit();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->exit_code, 0);
  const auto notifications = manager.received();
  EXPECT_EQ(notifications.back(), "STOPPING=1");
  // Between READY and STOPPING, one WATCHDOG=1 for every cycle but the superseded last, with
  // the status only when it changed.
  EXPECT_EQ(notifications.size() - 2, host.polls() - 1);
  for (std::size_t i = 1; i + 1 < notifications.size(); ++i) {
    const std::string& notification = notifications[i];
    EXPECT_TRUE(notification == "WATCHDOG=1" || notification.starts_with("WATCHDOG=1\nSTATUS="))
        << notification;
  }
  const auto sent = statuses(notifications);
  for (std::size_t i = 1; i < sent.size(); ++i) EXPECT_NE(sent[i], sent[i - 1]);
}

TEST(ServiceNotify, NoWatchdogUnlessAskedAndNothingWithoutTheSocket) {
  leave_outer_manager();
  struct Case {
    std::string name;
    bool socket_named;
    bool watchdog_asked;
    std::vector<std::string> expected;  // match_template patterns, one a notification
  };
  const std::vector<Case> cases = {
      {"NOTIFY_SOCKET alone",
       true,
       false,
       {"READY=1\nSTATUS=demo: busy (no report yet); no nudge while busy; board {} :0; 0 "
        "classes; host calls ok",
        "STATUS=demo: busy since {}; no nudge while busy; board {} :0; 0 classes; host calls ok",
        "STOPPING=1"}},
      {"WATCHDOG_USEC alone", false, true, {}},
  };
  for (const Case& c : cases) {
    ShellSession session;
    const PollCountingHost host;
    NotifySocket manager;
    Env env{{"TZ", "UTC0"}};
    if (c.socket_named) env.emplace_back("NOTIFY_SOCKET", manager.path().string());
    if (c.watchdog_asked) env.emplace_back("WATCHDOG_USEC", "300000000");
    session.start_shell({.host = host.program(), .extra_args = {}, .extra_env = env});
    ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart))) << c.name;
    ASSERT_TRUE(wait_until([&] { return host.polls() >= 4; })) << c.name;
    ASSERT_EQ(session.sim({"link", "revoke", session.link()}).exit_code, 0);
    const auto run = session.wait_for_shell_exit();
    ASSERT_TRUE(run) << c.name;
    EXPECT_EQ(run->exit_code, 0) << c.name;
    EXPECT_EQ(run->err, kRevoked) << c.name;

    const auto notifications = manager.received();
    ASSERT_EQ(notifications.size(), c.expected.size())
        << c.name << ": " << ::testing::PrintToString(notifications);
    for (std::size_t i = 0; i < notifications.size(); ++i) {
      EXPECT_TRUE(match_template(notifications[i], c.expected[i]))
          << c.name << ": " << notifications[i];
    }
  }
}

}  // namespace
}  // namespace kelvo::testing
