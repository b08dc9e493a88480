// Polls that misbehave: killed by a signal, 64 MiB of output, invalid UTF-8, lines of 1 MiB. The
// shell must survive them, count what they held, and give the memory back afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "common/text.hpp"
#include "frame/frame_mac.hpp"
#include "support/sanitized.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
// The big poll: this many lines of 64 bytes, each an unsigned boundary that counts as refused.
constexpr std::uint64_t kBigPollLines = 64 * kMiB / 64;
// What the shell may keep after a big poll, over its resting level.
constexpr std::uint64_t kRetainedSlackKiB = 8 * 1024;

// Runs `dir`/poll.sh in place of the next poll when it exists; everything else goes to qrn-sim.
// The bind leaves the shell's process id in `dir`/shell.pid.
constexpr std::string_view kHostScript = R"([ "$4" = bind-shell ] && echo $PPID > @DIR@/shell.pid
if [ "$4" = poll ] && [ -e @DIR@/poll.sh ]; then
  mv @DIR@/poll.sh @DIR@/poll-now.sh
  exec /bin/sh @DIR@/poll-now.sh
fi
exec @SIM@ "$@"
)";

class MisbehavingHost {
 public:
  explicit MisbehavingHost(const std::filesystem::path& dir) : dir_(dir) {
    const std::string script = replace_all(kHostScript, "@DIR@", "'" + dir.string() + "'");
    program_ = write_shell_script(dir, "qrn",
                                  replace_all(script, "@SIM@", "'" + sim_program().string() + "'"));
  }

  const std::filesystem::path& program() const { return program_; }

  // Hands `script` to the next poll and waits until a poll has taken it.
  bool next_poll_runs(const std::string& script) const {
    {
      std::ofstream file(dir_ / "poll.part", std::ios::binary);
      file << script;
    }
    std::filesystem::rename(dir_ / "poll.part", dir_ / "poll.sh");
    return wait_until([&] { return !std::filesystem::exists(dir_ / "poll.sh"); });
  }

  std::optional<int> shell_pid() const { return parse_u32(trim(read_file(dir_ / "shell.pid"))); }

 private:
  std::filesystem::path dir_;
  std::filesystem::path program_;
};

struct Memory {
  std::uint64_t rss_kib = 0;
  std::uint64_t peak_kib = 0;  // the high-water mark of the resident set
};

std::optional<std::uint64_t> status_field_kib(const std::string& status, const std::string& name) {
  for (const std::string_view line : split_lines(status)) {
    if (!line.starts_with(name + ":")) continue;
    const auto words = split_whitespace(line.substr(name.size() + 1));
    if (!words.empty()) return parse_u64(words.front());
  }
  return std::nullopt;
}

Memory memory_of(int pid) {
  const std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
  return {status_field_kib(status, "VmRSS").value_or(0),
          status_field_kib(status, "VmHWM").value_or(0)};
}

// Asks for the status and gives the reply's last line, the run summary. Samples the shell's
// resident set while it waits, for the failure report.
class StatusProbe {
 public:
  StatusProbe(ShellSession& session, int pid) : session_(session), pid_(pid) {}

  std::optional<std::string> io_line() {
    session_.operator_command("status");
    ++asked_;
    // Every look at the inbox runs qrn-sim, so look less often than wait_until would.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
      highest_rss_kib_ = std::max(highest_rss_kib_, memory_of(pid_).rss_kib);
      std::size_t seen = 0;
      for (const InboxMessage& message : session_.inbox()) {
        if (!message.text.starts_with("⟳ **kelvo** status")) continue;
        if (++seen == asked_) return message.text.substr(message.text.rfind('\n') + 1);
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  // Status replies in the inbox: one per question, none for a command the shell never read.
  std::size_t replies() const {
    std::size_t count = 0;
    for (const InboxMessage& message : session_.inbox()) {
      count += message.text.starts_with("⟳ **kelvo** status") ? 1 : 0;
    }
    return count;
  }

  std::size_t asked() const { return asked_; }
  std::uint64_t highest_rss_kib() const { return highest_rss_kib_; }

 private:
  ShellSession& session_;
  int pid_;
  std::size_t asked_ = 0;
  std::uint64_t highest_rss_kib_ = 0;
};

// AddressSanitizer's allocator keeps freed blocks in quarantine and in pools of its own, so an
// instrumented shell never gives a big buffer back; there only what the shell counts is checked.
void expect_memory_returned(const Memory& resting, const Memory& now, const StatusProbe& probe) {
  if (kSanitized) return;
  EXPECT_LE(now.rss_kib, resting.rss_kib + kRetainedSlackKiB)
      << "resting " << resting.rss_kib << " KiB, highest seen " << probe.highest_rss_kib()
      << " KiB";
}

std::string summary(std::uint64_t frames, std::uint64_t agent_outputs, std::uint64_t codes,
                    std::uint64_t refused, const std::string& kinds) {
  return fill(
      "io: {} frame(s), {} AGENT_OUTPUT, {} code(s); truncated 0 followed / 0 blind, 0 "
      "pointer(s) missed; 0 boundary(ies), {} refused{}",
      {std::to_string(frames), std::to_string(agent_outputs), std::to_string(codes),
       std::to_string(refused), kinds});
}

std::string big_poll_script() {
  std::string line = R"(<EVENT type="boundary" kind="compact"></EVENT> )";
  line.resize(63, 'x');
  return "yes '" + line + "' | head -n " + std::to_string(kBigPollLines) + "\n";
}

TEST(FaultPoll, SurvivesPollsThatMisbehaveAndGivesTheirMemoryBack) {
  TempDir dir;
  const MisbehavingHost host(dir.path());
  ShellSession session;
  session.start_shell({.host = host.program(), .extra_args = {}, .extra_env = {}});
  ASSERT_TRUE(session.wait_for_message(text_starts_with(kIntroStart)));
  const auto pid = host.shell_pid();
  ASSERT_TRUE(pid);
  StatusProbe probe(session, *pid);
  ASSERT_EQ(probe.io_line(), summary(0, 0, 0, 0, ""));
  const Memory resting = memory_of(*pid);
  ASSERT_GT(resting.rss_kib, 0u);

  // Killed by a signal after printing a verified boundary and a status command: a poll that
  // didn't exit 0 is read for its standard error only, so neither counts nor is answered.
  const std::string link = session.link();
  ASSERT_TRUE(host.next_poll_runs(
      "echo '" + *sign_frame(R"(<EVENT type="boundary" kind="compact"></EVENT>)", link) + "'\n" +
      "echo '" + *sign_frame(R"(<EVENT type="shell_command" op="status">{}</EVENT>)", link) +
      "'\nkill -KILL $$\n"));
  EXPECT_EQ(probe.io_line(), summary(0, 0, 0, 0, ""));
  EXPECT_TRUE(session.shell_running());

  // 64 MiB of lines that each look like a boundary but carry no MAC.
  ASSERT_TRUE(host.next_poll_runs(big_poll_script()));
  EXPECT_EQ(probe.io_line(), summary(0, 0, 0, kBigPollLines, ""));
  const Memory after_first = memory_of(*pid);
  EXPECT_GE(after_first.peak_kib, resting.rss_kib + 64 * 1024) << "the poll was not held whole";
  expect_memory_returned(resting, after_first, probe);

  // Lines of 1 MiB and invalid UTF-8. A verified AGENT_OUTPUT of 1 MiB ending in a wait code
  // counts with its code; a boundary and an io frame whose MACs cover invalid bytes no longer
  // verify once decoded (the boundary counts as refused); a 1 MiB line of invalid bytes is junk.
  const std::string long_output =
      R"(<EVENT type="io" kind="AGENT_OUTPUT">)" + std::string(kMiB, 'a') + " !!wait=5!!</EVENT>";
  const std::string bad_boundary = "<EVENT type=\"boundary\" kind=\"\xff\xfe\"></EVENT>";
  const std::string bad_io = "<EVENT type=\"io\" kind=\"NOTE\">caf\xc3 \xed\xa0\x80</EVENT>";
  std::string junk;
  while (junk.size() < kMiB) junk += "\xc3\x28\xf0\x9f\x98";
  {
    std::ofstream out(dir.path() / "odd-lines", std::ios::binary);
    for (const std::string& line : {*sign_frame(long_output, link), *sign_frame(bad_boundary, link),
                                    *sign_frame(bad_io, link), junk}) {
      out << line << "\n";
    }
  }
  ASSERT_TRUE(host.next_poll_runs("cat '" + (dir.path() / "odd-lines").string() + "'\n"));
  const std::string after_odd = summary(1, 1, 1, kBigPollLines + 1, "; kinds: AGENT_OUTPUT 1");
  EXPECT_EQ(probe.io_line(), after_odd);

  // The same 64 MiB once more: the memory of a second big poll must come back as well.
  ASSERT_TRUE(host.next_poll_runs(big_poll_script()));
  EXPECT_EQ(probe.io_line(), summary(1, 1, 1, 2 * kBigPollLines + 1, "; kinds: AGENT_OUTPUT 1"));
  const Memory after_second = memory_of(*pid);
  expect_memory_returned(resting, after_second, probe);
  EXPECT_EQ(probe.replies(), probe.asked());
  EXPECT_TRUE(session.shell_running());
  EXPECT_EQ(session.shell_err(), "");
}

}  // namespace
}  // namespace kelvo::testing
