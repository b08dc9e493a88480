#include "support/shell_session.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "common/percent_encoding.hpp"
#include "common/text.hpp"
#include "qrn-sim/inbox.hpp"
#include "support/shell_script.hpp"

namespace kelvo::testing {

namespace {

constexpr auto kInboxPollInterval = std::chrono::milliseconds(50);

// Read with qrn-sim's own reader of its lines, so that this file needs no JSON library.
InboxMessage message_from(std::string_view line) {
  sim::InboxMessage read = sim::inbox_message_from(line);
  return {read.ts, std::move(read.from), std::move(read.flags), std::move(read.text)};
}

// Inode, size and modification time; nothing when the file is missing.
std::optional<std::tuple<std::uint64_t, std::uint64_t, std::int64_t>> file_identity(
    const std::filesystem::path& path) {
  struct stat seen {};
  if (::stat(path.c_str(), &seen) != 0) return std::nullopt;
  return std::tuple{
      static_cast<std::uint64_t>(seen.st_ino), static_cast<std::uint64_t>(seen.st_size),
      static_cast<std::int64_t>(seen.st_mtim.tv_sec) * 1'000'000'000 + seen.st_mtim.tv_nsec};
}

std::string describe(const std::vector<InboxMessage>& messages) {
  std::string out;
  for (const InboxMessage& message : messages) {
    out += "-- from " + message.from.value_or("(nobody)");
    for (const std::string& flag : message.flags) out += " " + flag;
    out += "\n" + message.text + "\n";
  }
  return out.empty() ? "(empty)\n" : out;
}

}  // namespace

std::filesystem::path shell_program() {
  return std::filesystem::path(KELVO_BUILD_DIR) / "kelvo-shell";
}
std::filesystem::path sim_program() { return KELVO_QRN_SIM; }
std::filesystem::path fleet_program() {
  return std::filesystem::path(KELVO_BUILD_DIR) / "kelvo-fleet";
}

MessageTest text_is(std::string text) {
  return {"text equal to \"" + text + "\"",
          [text](const InboxMessage& message) { return message.text == text; }};
}

MessageTest text_starts_with(std::string prefix) {
  return {"text beginning with \"" + prefix + "\"",
          [prefix](const InboxMessage& message) { return message.text.starts_with(prefix); }};
}

MessageTest text_contains(std::string part) {
  return {"text containing \"" + part + "\"", [part](const InboxMessage& message) {
            return message.text.find(part) != std::string::npos;
          }};
}

ShellSession::ShellSession(std::string owner, std::optional<std::string> shell_id)
    : owner_(std::move(owner)), shell_id_(shell_id.value_or("KELVO-0")) {
  new_link();
  agent_busy();
}

ShellSession::~ShellSession() = default;

std::filesystem::path ShellSession::state_file() const {
  return state_dir() / "state" / (owner_ + ".json");
}

Env ShellSession::env() const { return {{"QRN_SIM_HOME", home().string()}}; }

ProgramRun ShellSession::sim(std::vector<std::string> args, std::string_view input) const {
  args.insert(args.begin(), sim_program().string());
  return run_program(args, input, env());
}

void ShellSession::sim_ok(std::vector<std::string> args) const {
  const ProgramRun run = sim(args);
  EXPECT_EQ(run.exit_code, 0) << "qrn-sim " << ::testing::PrintToString(args) << ": " << run.err;
}

void ShellSession::agent_idle(std::uint64_t ago_secs) const {
  sim_ok({"agent", "idle", owner_, "--ago", std::to_string(ago_secs)});
}

void ShellSession::agent_busy(std::uint64_t ago_secs) const {
  sim_ok({"agent", "busy", owner_, "--ago", std::to_string(ago_secs)});
}

void ShellSession::agent_say(const std::string& text) const {
  sim_ok({"agent", "say", owner_, "--", text});
}

void ShellSession::operator_command(const std::string& op,
                                    const std::vector<std::string>& words) const {
  std::vector<std::string> args{"shell", "cmd", shell_id_, op};
  args.insert(args.end(), words.begin(), words.end());
  sim_ok(args);
}

const std::string& ShellSession::new_link() {
  const ProgramRun made = sim({"link", "new", "--owner", owner_, "--shell-id", shell_id_});
  if (made.exit_code != 0) throw std::runtime_error("qrn-sim link new failed: " + made.err);
  link_ = std::string(trim(made.out));
  return link_;
}

void ShellSession::start_shell(const ShellLaunch& launch) {
  shell_.reset();
  std::vector<std::string> argv{
      shell_program().string(), "--link", link_, "--qrn", launch.host.string(), "--state-dir",
      state_dir().string()};
  argv.insert(argv.end(), launch.extra_args.begin(), launch.extra_args.end());
  Env environment = env();
  environment.insert(environment.end(), launch.extra_env.begin(), launch.extra_env.end());
  shell_ = std::make_unique<RunningProgram>(argv, environment);
}

bool ShellSession::shell_running() { return shell_ && shell_->running(); }

std::optional<ProgramRun> ShellSession::wait_for_shell_exit(std::chrono::milliseconds timeout) {
  if (!shell_) throw std::logic_error("the shell was never started");
  if (!wait_until([this] { return !shell_->running(); }, timeout)) {
    ADD_FAILURE() << "the shell still runs after " << timeout.count() << " ms; its stderr:\n"
                  << shell_->err();
    return std::nullopt;
  }
  return shell_->stop();
}

ProgramRun ShellSession::stop_shell(int signal) {
  if (!shell_) throw std::logic_error("the shell was never started");
  return shell_->stop(signal);
}

std::string ShellSession::shell_err() const { return shell_ ? shell_->err() : std::string(); }

std::vector<InboxMessage> ShellSession::inbox() const {
  // qrn-sim replaces the inbox file whole for each message, and it only grows: while the file's
  // inode, size and time stay the same there is nothing new. Waiting tests look every 50 ms,
  // and a run of qrn-sim under the sanitizers costs tens of milliseconds of CPU. A file not
  // found (none yet, or named otherwise than thought) is always asked about.
  const auto file = file_identity(home() / "inbox" / (percent_encode(owner_, "_-") + ".jsonl"));
  if (file && last_inbox_ && last_inbox_->file == file) return last_inbox_->messages;
  const ProgramRun run = sim({"inbox", owner_, "--json"});
  if (run.exit_code != 0) throw std::runtime_error("qrn-sim inbox failed: " + run.err);
  std::vector<InboxMessage> messages;
  for (const std::string_view line : split_lines(run.out)) messages.push_back(message_from(line));
  last_inbox_ = InboxRead{file, messages};
  return messages;
}

std::optional<InboxMessage> ShellSession::ask_status() {
  operator_command("status");
  return wait_for_message(text_starts_with("⟳ **kelvo** status"));
}

std::optional<InboxMessage> ShellSession::wait_for_message(const MessageTest& test,
                                                           std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::vector<InboxMessage> messages = inbox();
    for (std::size_t i = 0; i < messages.size(); ++i) {
      if (!given_.contains(i) && test.holds(messages[i])) {
        given_.insert(i);
        return messages[i];
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ADD_FAILURE() << "no message with " << test.what << " within " << timeout.count()
                    << " ms; the inbox:\n"
                    << describe(messages) << "the shell's stderr:\n"
                    << shell_err();
      return std::nullopt;
    }
    std::this_thread::sleep_for(kInboxPollInterval);
  }
}

std::optional<InboxMessage> play_quiet_stretch(ShellSession& session, std::uint64_t idle_secs) {
  session.agent_idle(idle_secs);
  if (!session.wait_for_message(text_starts_with("⟳ **kelvo** — idle ~"))) return std::nullopt;
  session.agent_busy();
  return session.wait_for_message(text_starts_with("⟳ **kelvo** stretch board `"));
}

std::string board_id(const InboxMessage& board) {
  const std::size_t open = board.text.find('`');
  const std::size_t close = board.text.find('`', open + 1);
  if (close == std::string::npos) return {};
  return board.text.substr(open + 1, close - open - 1);
}

std::optional<std::vector<std::string>> match_template(std::string_view text,
                                                       std::string_view pattern) {
  std::vector<std::string_view> pieces;
  for (std::size_t slot; (slot = pattern.find("{}")) != std::string_view::npos;) {
    pieces.push_back(pattern.substr(0, slot));
    pattern.remove_prefix(slot + 2);
  }
  pieces.push_back(pattern);

  if (!text.starts_with(pieces.front())) return std::nullopt;
  std::size_t at = pieces.front().size();
  std::vector<std::string> slots;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const bool last = i + 1 == pieces.size();
    const std::size_t end =
        last ? text.size() - std::min(text.size(), pieces[i].size()) : text.find(pieces[i], at + 1);
    if (end == std::string_view::npos || end <= at) return std::nullopt;
    if (last && text.substr(end) != pieces[i]) return std::nullopt;
    const std::string_view slot = text.substr(at, end - at);
    if (slot.find('\n') != std::string_view::npos) return std::nullopt;
    slots.emplace_back(slot);
    at = end + pieces[i].size();
  }
  if (pieces.size() == 1 && text.size() != at) return std::nullopt;
  return slots;
}

std::optional<std::uint64_t> parse_shown_duration(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t total = 0;
  char last_unit = 0;
  while (!text.empty()) {
    const std::size_t unit = text.find_first_not_of("0123456789");
    if (unit == 0 || unit == std::string_view::npos) return std::nullopt;
    const std::optional<std::uint64_t> number = parse_u64(text.substr(0, unit));
    const char name = text[unit];
    const std::string_view order = "hms";
    const std::size_t rank = order.find(name);
    if (!number || rank == std::string_view::npos) return std::nullopt;
    if (last_unit != 0 && rank <= order.find(last_unit)) return std::nullopt;
    total += *number * (name == 'h' ? 3600 : name == 'm' ? 60 : 1);
    last_unit = name;
    text.remove_prefix(unit + 1);
  }
  return total;
}

}  // namespace kelvo::testing
