#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "support/run_program.hpp"
#include "support/running_program.hpp"
#include "support/temp_dir.hpp"

namespace kelvo::testing {

// The programs under test, from the build tree.
std::filesystem::path shell_program();
std::filesystem::path sim_program();
std::filesystem::path fleet_program();

// One message the agent received, as qrn-sim's inbox stores it.
struct InboxMessage {
  std::uint64_t ts = 0;
  std::optional<std::string> from;  // absent: sent without --from
  std::vector<std::string> flags;
  std::string text;
};

// What a wanted message looks like, with a description for the failure report.
struct MessageTest {
  std::string what;
  std::function<bool(const InboxMessage&)> holds;
};
MessageTest text_is(std::string text);
MessageTest text_starts_with(std::string prefix);
MessageTest text_contains(std::string part);

// How the shell's intro begins.
inline const std::string kIntroStart = "⟳ **kelvo** is pacing";
// The flags of a message that reaches the agent only while it is active.
inline const std::vector<std::string> kActiveOnly = {"--active-only"};

// How the shell is started: its arguments come first (--link, --qrn, --state-dir), so an
// extra argument that repeats one of them is ignored by the shell.
struct ShellLaunch {
  std::filesystem::path host = sim_program();
  std::vector<std::string> extra_args;
  Env extra_env;
};

// A throw-away qrn-sim home with one link for `owner`, a throw-away state directory, and the
// real kelvo-shell run against them. Nothing is shared between sessions, so tests can run side
// by side.
//
// The endpoint is put to work (busy) before the shell starts: a fresh endpoint is idle since its
// link was made, and the shell rightly ignores a later idle report dated earlier than that, so
// `agent_idle(ago)` would otherwise not start a quiet stretch.
class ShellSession {
 public:
  explicit ShellSession(std::string owner = "demo", std::optional<std::string> shell_id = {});
  ~ShellSession();
  ShellSession(const ShellSession&) = delete;
  ShellSession& operator=(const ShellSession&) = delete;

  const std::string& owner() const { return owner_; }
  const std::string& shell_id() const { return shell_id_; }
  const std::string& link() const { return link_; }
  const std::filesystem::path& home() const { return home_.path(); }
  const std::filesystem::path& state_dir() const { return state_dir_.path(); }
  // Where the shell keeps the owner's classes (for an owner that is a plain name).
  std::filesystem::path state_file() const;
  // QRN_SIM_HOME for programs run against this home.
  Env env() const;

  // Runs `qrn-sim args…` in this home.
  ProgramRun sim(std::vector<std::string> args, std::string_view input = {}) const;
  // The agent's and the operator's verbs; each fails the test when qrn-sim refuses it.
  void agent_idle(std::uint64_t ago_secs = 0) const;
  void agent_busy(std::uint64_t ago_secs = 0) const;
  void agent_say(const std::string& text) const;
  void operator_command(const std::string& op, const std::vector<std::string>& words = {}) const;
  // Makes a fresh link for the owner (same shell id) and uses it from now on.
  const std::string& new_link();

  // Starts the shell on the current link, stopping one still running first.
  void start_shell(const ShellLaunch& launch = {});
  bool shell_running();
  // Waits for the shell to end by itself and gives its outputs and exit code.
  std::optional<ProgramRun> wait_for_shell_exit(
      std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // Sends the shell `signal` unless it has ended, waits for its end, and gives its outputs and
  // exit code.
  ProgramRun stop_shell(int signal = SIGKILL);
  // What the shell has written to standard error so far (also after it ended).
  std::string shell_err() const;

  // Everything the agent received so far, oldest first.
  std::vector<InboxMessage> inbox() const;
  // Polls the inbox until a message passes `test` and gives the oldest such message. Each
  // message is given at most once, so waiting twice for the same kind of text finds the second
  // one. On timeout the test fails with the inbox and the shell's standard error.
  std::optional<InboxMessage> wait_for_message(
      const MessageTest& test, std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // Sends the operator's `status` and waits for the reply.
  std::optional<InboxMessage> ask_status();

 private:
  void sim_ok(std::vector<std::string> args) const;

  std::string owner_;
  std::string shell_id_;
  TempDir home_;
  TempDir state_dir_;
  std::string link_;
  std::unique_ptr<RunningProgram> shell_;
  std::set<std::size_t> given_;  // inbox positions already handed out by wait_for_message
  // The last inbox read, and what the inbox file looked like just before it.
  struct InboxRead {
    std::optional<std::tuple<std::uint64_t, std::uint64_t, std::int64_t>>
        file;  // inode, size, mtime
    std::vector<InboxMessage> messages;
  };
  mutable std::optional<InboxRead> last_inbox_;
};

// Plays a quiet stretch with a running shell: the endpoint has been idle for `idle_secs` (at
// least 61, so the shell nudges at once), and once the nudge is in it goes back to work. Gives
// the board message that ends the stretch.
std::optional<InboxMessage> play_quiet_stretch(ShellSession& session, std::uint64_t idle_secs = 61);

// The stretch id of a board message (the text between its first two backticks).
std::string board_id(const InboxMessage& board);

// The "{}" slots of `pattern` filled from `text`: the literal pieces must match exactly and in
// order, each slot takes at least one character and no line feed, and the first fitting
// occurrence of the following piece ends it. Nothing when the text does not fit.
std::optional<std::vector<std::string>> match_template(std::string_view text,
                                                       std::string_view pattern);

// Whole seconds of a shown duration such as "25m7s", "1h0m1s" or "0s".
std::optional<std::uint64_t> parse_shown_duration(std::string_view text);

}  // namespace kelvo::testing
