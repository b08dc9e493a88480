#include "main/event_hook.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "support/shell_script.hpp"
#include "support/temp_dir.hpp"

namespace kelvo {
namespace {

using testing::read_file;
using testing::TempDir;
using testing::write_shell_script;

constexpr WallTime kNoon = at_epoch_ms(1'765'022'400'000);

ShellEvent event_of(ShellEventKind kind, std::uint64_t nudges = 0) {
  return {kind,   kNoon,  "demo",       "KELVO-0",   kNoon - Millis(60'000),
          nudges, "text", std::nullopt, std::nullopt};
}

// Tells one event at `now` and waits until the hook is done with it.
std::vector<std::string> tell_and_wait(EventHook& hook, ShellEvent event, WallTime now) {
  hook.tell(std::move(event));
  std::vector<std::string> lines = hook.service(now);
  for (std::string& line : hook.drain(Millis(5'000))) lines.push_back(std::move(line));
  return lines;
}

// A hook may exit without reading its input.
class ProcessEventHookTest : public ::testing::Test {
 protected:
  void SetUp() override { ignore_sigpipe(); }
};

bool gone(pid_t pid) {
  std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  return stat.empty() || stat.find(") Z ") != std::string::npos;
}

TEST_F(ProcessEventHookTest, HandsTheEventOverAndKeepsTheHooksOutputsFromOurs) {
  const TempDir dir;
  const auto program = write_shell_script(dir.path(), "hook", R"sh(d="$(dirname "$0")"
printf '%s|%s|%s|%s|%s\n' "$0" "$1" "$KELVO_EVENT" "$KELVO_OWNER" "$KELVO_SHELL_ID" >"$d/args"
cat >"$d/stdin"
echo to-out; echo to-err >&2
)sh");
  ProcessEventHook hook(program.string());
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const auto lines = tell_and_wait(hook, event_of(ShellEventKind::Resumed, 4), kNoon);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(read_file(dir.path() / "args"), program.string() + "|resumed|resumed|demo|KELVO-0\n");
  EXPECT_EQ(read_file(dir.path() / "stdin"),
            event_json(event_of(ShellEventKind::Resumed, 4), machine_name()) + "\n");
  EXPECT_FALSE(machine_name().empty());
}

TEST_F(ProcessEventHookTest, RunsOneAtATimeInOrderAndDropsTheOldestPastTheQueueLimit) {
  const TempDir dir;
  const auto program = write_shell_script(dir.path(), "hook", R"sh(d="$(dirname "$0")"
mkdir "$d/lock" || echo overlap >>"$d/log"
cat >>"$d/log"; sleep 0.05
rmdir "$d/lock"
)sh");
  EventHookLimits limits;
  limits.queue = 3;
  ProcessEventHook hook(program.string(), limits);
  for (std::uint64_t n = 1; n <= 5; ++n) hook.tell(event_of(ShellEventKind::Unresponsive, n));
  EXPECT_TRUE(hook.service(kNoon).empty());  // 3 starts; 4 and 5 wait
  const auto lines = tell_and_wait(hook, event_of(ShellEventKind::Unresponsive, 6), kNoon);
  EXPECT_TRUE(lines.empty());
  std::vector<std::string> told;
  const std::string log = read_file(dir.path() / "log");
  for (const std::string_view line : split_lines(log)) {
    const auto json = nlohmann::json::parse(line);
    told.push_back(std::to_string(json["nudges"].get<int>()) +
                   (json.contains("dropped") ? " dropped " + json["dropped"].dump() : ""));
  }
  EXPECT_EQ(told, (std::vector<std::string>{"3 dropped 2", "4", "5", "6"}));
}

TEST_F(ProcessEventHookTest, SaysWhyItFailedAtMostOnceInTenMinutesWhileFailuresGoOn) {
  const TempDir dir;
  const auto program = write_shell_script(dir.path(), "hook", R"sh(case "$1" in
blocked) printf '\n  boom  \nsecond\n' >&2; exit 3 ;;
unresponsive) trap '' TERM; sleep 5 & echo $! >"$(dirname "$0")/child"; wait ;;
esac
)sh");
  EventHookLimits limits;
  limits.run_for = Millis(100);
  limits.kill_after = Millis(100);
  ProcessEventHook hook(program.string(), limits);
  const std::string failed = "event hook " + program.string() + " failed on ";
  struct Step {
    ShellEventKind kind;
    int minute;
    std::string line;
  };
  const std::vector<Step> steps = {
      {ShellEventKind::Unresponsive, 0, failed + "unresponsive: timed out after 0s"},
      {ShellEventKind::Blocked, 1, ""},
      {ShellEventKind::Blocked, 11, failed + "blocked: exit status 3; stderr \"boom\""},
      {ShellEventKind::Resumed, 12, ""},  // a success ends the failures
      {ShellEventKind::Blocked, 13, failed + "blocked: exit status 3; stderr \"boom\""},
  };
  for (const Step& step : steps) {
    const auto began = std::chrono::steady_clock::now();
    const auto lines =
        tell_and_wait(hook, event_of(step.kind), kNoon + Millis(step.minute * 60'000));
    EXPECT_EQ(lines,
              step.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{step.line})
        << step.minute;
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2)) << step.minute;
  }
  // The hook ignored SIGTERM, so SIGKILL ended it, and what it started with it.
  const pid_t child = std::stoi(read_file(dir.path() / "child"));
  for (int i = 0; i < 100 && !gone(child); ++i) ::usleep(10'000);
  EXPECT_TRUE(gone(child));

  ProcessEventHook missing((dir.path() / "none").string());
  EXPECT_EQ(tell_and_wait(missing, event_of(ShellEventKind::Ending), kNoon),
            std::vector<std::string>{"event hook " + (dir.path() / "none").string() +
                                     " failed on ending: cannot start: ENOENT (No such file or "
                                     "directory)"});
}

// The loop services the hook once a cycle, 500 ms apart: a hook that writes far more than a pipe
// holds is still read to its end and judged by how it ended, not timed out.
TEST_F(ProcessEventHookTest, AHookFloodingItsErrorOutputIsReadToItsEndBetweenCycles) {
  const TempDir dir;
  const auto program = write_shell_script(
      dir.path(), "hook", "printf 'first\\n' >&2; head -c 20000000 /dev/zero >&2; exit 1\n");
  ProcessEventHook hook(program.string());
  hook.tell(event_of(ShellEventKind::Blocked));
  std::vector<std::string> lines;
  for (int cycle = 0; cycle < 60 && lines.empty(); ++cycle) {
    lines = hook.service(kNoon + Millis(cycle * 500));
    ::usleep(500'000);
  }
  const std::string line =
      "event hook " + program.string() + " failed on blocked: exit status 1; stderr \"first\"";
  EXPECT_EQ(lines, std::vector<std::string>{line});
  EXPECT_EQ(hook.health(), (HookHealth{1, line}));
}

TEST_F(ProcessEventHookTest, DrainGivesUpAtItsLimitAndEndsTheHookStillRunning) {
  const TempDir dir;
  const auto program = write_shell_script(dir.path(), "hook", "exec sleep 5\n");
  ProcessEventHook hook(program.string());
  hook.tell(event_of(ShellEventKind::Blocked));
  hook.tell(event_of(ShellEventKind::Ending));
  EXPECT_TRUE(hook.service(kNoon).empty());
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(hook.drain(Millis(200)),
            std::vector<std::string>{"event hook " + program.string() +
                                     " failed on blocked: still running when the shell ended; "
                                     "1 later event(s) not told"});
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
}

}  // namespace
}  // namespace kelvo
