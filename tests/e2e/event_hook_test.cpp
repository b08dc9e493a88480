// The shell tells a person, through its --on-event program, what only a person can mend.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/running_program.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

// The events the hook received, one JSON object a line of its log, with its argument checked.
std::vector<nlohmann::json> told(const std::filesystem::path& log) {
  std::vector<nlohmann::json> events;
  const std::string text = read_file(log);
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const auto event = nlohmann::json::parse(text.substr(start, end - start), nullptr, false);
    if (!event.is_discarded()) events.push_back(event);
  }
  return events;
}

bool was_told(const std::filesystem::path& log, const std::string& event) {
  for (const auto& told_event : told(log)) {
    if (told_event.value("event", "") == event) return true;
  }
  return false;
}

TEST(EventHook, TellsBlockedUnresponsiveAndResumedWithWhatTheAgentSaid) {
  TempDir dir;
  const std::filesystem::path log = dir.path() / "events.jsonl";
  // The argument and the environment must name the event the JSON carries.
  const auto hook = write_shell_script(dir.path(), "hook",
                                       "[ \"$1\" = \"$KELVO_EVENT\" ] || exit 3\ncat >> '" +
                                           log.string() + "'\necho >> '" + log.string() + "'\n");
  ShellSession session;
  session.start_shell({.host = sim_program(),
                       .extra_args = {"--on-event", hook.string(), "--unresponsive-after", "1"},
                       .extra_env = {}});
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));

  session.agent_idle(600);  // nudged at once: the first nudge is the one that counts
  ASSERT_TRUE(session.wait_for_message(text_starts_with("⟳ **kelvo** — idle")));
  // Unanswered until the next nudge is due: a delay shorter than the stretch makes it due now.
  EXPECT_FALSE(was_told(log, "unresponsive"));
  session.operator_command("delay", {"1"});
  ASSERT_TRUE(wait_until([&] { return was_told(log, "unresponsive"); })) << read_file(log);

  // Told within a cycle or two; on a busy machine under the sanitizers a cycle takes seconds.
  session.agent_say("The release needs your sign-off before I can go on. !!done!!");
  ASSERT_TRUE(wait_until([&] { return was_told(log, "blocked"); }, std::chrono::seconds(20)))
      << read_file(log);
  session.agent_busy();
  ASSERT_TRUE(wait_until([&] { return was_told(log, "resumed"); })) << read_file(log);

  const auto events = told(log);
  ASSERT_EQ(events.size(), 3u) << read_file(log);
  EXPECT_EQ(events[0]["event"], "unresponsive");
  EXPECT_EQ(events[0]["nudges"], 1);
  EXPECT_EQ(events[1]["event"], "blocked");
  EXPECT_EQ(events[1]["detail"], "The release needs your sign-off before I can go on. !!done!!");
  EXPECT_EQ(events[1]["owner"], session.owner());
  EXPECT_EQ(events[1]["shell_id"], session.shell_id());
  EXPECT_TRUE(events[1]["since_ms"].is_number());
  EXPECT_EQ(events[2]["event"], "resumed");
  EXPECT_EQ(session.shell_err(), "");
}

// The times in ms of the polls qrn-sim logged in `dir`, oldest first.
std::vector<std::uint64_t> poll_times(const std::filesystem::path& dir) {
  std::vector<std::uint64_t> times;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string text = read_file(entry.path());
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      times.push_back(std::stoull(text.substr(start, end - start)));
    }
  }
  std::sort(times.begin(), times.end());
  return times;
}

std::uint64_t wall_ms() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count());
}

TEST(EventHook, AHookThatHangsNeitherHoldsUpTheLoopNorOutlivesThirtySeconds) {
  TempDir dir;
  TempDir polls;
  const auto hook = write_shell_script(dir.path(), "hook", "echo 'still thinking' >&2\nsleep 60\n");
  ShellSession session;
  session.start_shell({.host = sim_program(),
                       .extra_args = {"--on-event", hook.string(), "--unresponsive-after", "1"},
                       .extra_env = {{"QRN_SIM_POLL_LOG", polls.path().string()}}});
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  session.agent_idle(600);
  ASSERT_TRUE(session.wait_for_message(text_starts_with("⟳ **kelvo** — idle")));
  // A second nudge at once, with the first unanswered: the event that starts the hook.
  session.operator_command("delay", {"1"});
  const auto nudges = [&] {
    const auto inbox = session.inbox();
    return std::count_if(inbox.begin(), inbox.end(), [](const InboxMessage& m) {
      return m.text.starts_with("⟳ **kelvo** — idle");
    });
  };
  ASSERT_TRUE(wait_until([&] { return nudges() == 2; }));
  const auto hook_started = std::chrono::steady_clock::now();
  const std::uint64_t hook_started_ms = wall_ms();

  // While it sleeps, a wait already over nudges at once: within a few cycles, which on a busy
  // machine under the sanitizers take seconds each; a loop held up by the hook would take the
  // rest of its 30 s.
  session.agent_say("!!wait=1!!");
  ASSERT_TRUE(wait_until([&] { return nudges() == 3; }, std::chrono::seconds(20)));
  const std::string ended =
      "kelvo-shell: event hook " + hook.string() + " failed on unresponsive: ";
  ASSERT_TRUE(wait_until([&] { return session.shell_err().find(ended) != std::string::npos; },
                         std::chrono::seconds(45)))
      << session.shell_err();
  const auto lasted = std::chrono::steady_clock::now() - hook_started;
  const std::uint64_t hook_ended_ms = wall_ms();
  EXPECT_GE(lasted, std::chrono::seconds(29));
  EXPECT_LT(lasted, std::chrono::seconds(40));
  EXPECT_NE(session.shell_err().find("still thinking"), std::string::npos) << session.shell_err();

  // The polls kept going all along, from before the hook began to after it was ended, without a
  // gap anywhere near its 30 s. Judged by the gaps, not by a count, which a busy machine lowers;
  // 10 s leaves room for slow cycles and still catches a loop held up by the hook.
  ASSERT_TRUE(wait_until([&] {
    const auto times = poll_times(polls.path());
    return !times.empty() && times.back() > hook_ended_ms;
  }));
  const std::vector<std::uint64_t> times = poll_times(polls.path());
  ASSERT_LT(times.front(), hook_started_ms);
  for (std::size_t i = 1; i < times.size(); ++i) {
    EXPECT_LT(times[i] - times[i - 1], 10000u) << "a poll gap at poll " << i;
  }
}

}  // namespace
}  // namespace kelvo::testing
