// The shell killed with SIGKILL at random moments of a busy run, two hundred times, each kill
// followed by a start on the same link and state folder. Every start must restore the session the
// last one left (no intro when it sends from the same shell id) or keep a damaged file aside with
// its line; no start may crash; no class the registry held may be lost, nor the state file torn.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/text.hpp"
#include "cycle/session_codec.hpp"
#include "qrn-sim/store.hpp"
#include "support/sanitized.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"
#include "support/shell_state.hpp"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Under the sanitizers every start costs several times more; memory errors show in fewer rounds.
constexpr int kKills = stress_rounds(200, 30);
constexpr auto kRunEndTimeout = milliseconds(20'000);
constexpr std::string_view kKeptAside = "; starting afresh";

// A lock every process of one shell run holds: the shell inherits a descriptor of a shared flock
// and hands it on to each host call it starts. Once the exclusive lock is ours, the killed shell
// and every host call it left running have ended, so the files and the inbox have settled.
class RunLock {
 public:
  explicit RunLock(fs::path path) : path_(std::move(path)) {}

  void start(ShellSession& session, const ShellLaunch& launch = {}) const {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT, 0600);  // not close-on-exec: handed on
    if (fd < 0 || ::flock(fd, LOCK_SH) != 0) throw std::runtime_error("cannot lock the run");
    try {
      session.start_shell(launch);
    } catch (...) {
      ::close(fd);
      throw;
    }
    ::close(fd);
  }

  // False when a process of the run still holds it after the timeout.
  bool wait_for_end() const {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const auto deadline = Clock::now() + kRunEndTimeout;
    bool ended = false;
    while (!(ended = ::flock(fd, LOCK_EX | LOCK_NB) == 0) && Clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    ::close(fd);
    return ended;
  }

 private:
  fs::path path_;
};

std::optional<std::string> read_if_present(const fs::path& path) {
  if (!fs::exists(path)) return std::nullopt;
  return read_file(path);
}

// The files kept aside so far, by name.
std::set<std::string> kept_aside(const fs::path& session_file) {
  std::set<std::string> names;
  if (!fs::exists(session_file.parent_path())) return names;
  const std::string prefix = session_file.filename().string() + ".bad-";
  for (const auto& entry : fs::directory_iterator(session_file.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) names.insert(name);
  }
  return names;
}

// Where each kill fell, as the files tell it afterwards.
struct Tally {
  int kills = 0;
  int restored = 0;            // a whole session was there and the shell went on with it
  int intros = 0;              // intros sent: the first start, starts from no session, new ids
  int takeovers = 0;           // the bind got a fresh id: a bind-shell call outlived its shell
  int session_writes = 0;      // rounds that replaced the session file
  int caught_mid_session = 0;  // killed between the temporary's creation and its rename
  int caught_mid_state = 0;
  int beside_leftover = 0;  // started with a temporary session file of a killed write there
  int classify_codes = 0;
  int classified = 0;
  int kept_aside = 0;
};

std::ostream& operator<<(std::ostream& out, const Tally& t) {
  return out << t.kills << " kills; " << t.restored << " starts restored a session, " << t.intros
             << " intros, " << t.takeovers << " takeovers; " << t.session_writes
             << " rounds wrote the session, " << t.caught_mid_session << " killed mid-write of it, "
             << t.caught_mid_state << " mid-save of the state, " << t.beside_leftover
             << " started beside a leftover temporary; " << t.classified << " of "
             << t.classify_codes << " classify codes kept; " << t.kept_aside << " kept aside";
}

// One killed run's facts, gathered before and after it.
struct Before {
  std::optional<std::string> session;
  std::optional<SessionRecord> record;
  std::optional<std::string> session_tmp;
  std::optional<std::string> state_tmp;
  std::set<std::string> kept;
  std::size_t inbox = 0;
  std::string shell_id;
};

class KillRun {
 public:
  explicit KillRun(unsigned seed)
      : random_(seed),
        session_file_(session.state_dir() / "sessions" / "demo.json"),
        lock_(scratch_.path() / "run.lock") {}

  ShellSession session;

  // Plays one round: moves the agent, starts the shell, kills it, checks what it left.
  void round(int number) {
    number_ = number;
    const Before before = look_before();
    const bool long_round = chance(0.05);
    move_agent(before, number);
    const milliseconds moment = kill_moment(long_round);
    const auto started_wall = std::chrono::system_clock::now();
    lock_.start(session);
    const auto started = Clock::now();
    if (long_round) {
      std::this_thread::sleep_for(milliseconds(uniform(0, 500)));
      move_agent(look_before(), number);
    }
    std::this_thread::sleep_until(started + moment);
    const ProgramRun killed = session.stop_shell(SIGKILL);
    ++tally.kills;
    if (!lock_.wait_for_end()) fault("a process of the killed run still runs");
    if (!long_round) learn_first_write(before, moment, started_wall);
    check_run(killed);
    check_session(before, killed.err, check_registry());
  }

  // A last start that runs a few cycles and stops on SIGTERM.
  void finish() {
    number_ = -1;
    const Before before = look_before();
    lock_.start(session);
    std::this_thread::sleep_for(milliseconds(1500));
    const ProgramRun stopped = session.stop_shell(SIGTERM);
    if (stopped.exit_code != 0) fault("the last start did not stop cleanly: " + stopped.err);
    ASSERT_TRUE(lock_.wait_for_end());
    check_session(before, stopped.err, check_registry());
    check_folder();
  }

  Tally tally;
  std::vector<std::string> faults;
  milliseconds first_write() const { return first_write_; }

 private:
  bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
  int uniform(int low, int high) { return std::uniform_int_distribution(low, high)(random_); }

  // Most kills fall before a start's first session write is done, as timed on the rounds before:
  // in the set-up, the bind, the first cycle's host calls, its state save or the write itself.
  // The rest fall anywhere in the first 400 ms, and one in twenty in the second cycle.
  milliseconds kill_moment(bool long_round) {
    const int first_write = static_cast<int>(first_write_.count());
    if (long_round) return milliseconds(first_write + uniform(500, 1000));
    return milliseconds(chance(0.6) ? uniform(0, first_write + first_write / 4) : uniform(0, 400));
  }

  // When a start writes its first session: moved toward the time a round's write took, and
  // later when a round was killed after that time without a write.
  void learn_first_write(const Before& before, milliseconds moment,
                         std::chrono::system_clock::time_point started) {
    std::error_code error;
    const auto written = fs::last_write_time(session_file_, error);
    if (!error && read_if_present(session_file_) != before.session) {
      const auto took = std::chrono::duration_cast<milliseconds>(
          std::chrono::file_clock::to_sys(written) - started);
      first_write_ = (3 * first_write_ + std::max(took, milliseconds(1))) / 4;
    } else if (moment >= first_write_) {
      first_write_ = std::min(first_write_ * 5 / 4, kRunEndTimeout);
    }
  }

  void fault(const std::string& what) {
    faults.push_back((number_ < 0 ? "the last start" : "round " + std::to_string(number_)) + ": " +
                     what);
  }

  Before look_before() {
    Before before;
    before.session = read_if_present(session_file_);
    if (before.session) before.record = decode_session(*before.session);
    before.session_tmp = read_if_present(fs::path(session_file_) += ".tmp");
    before.state_tmp = read_if_present(fs::path(session.state_file()) += ".tmp");
    before.kept = kept_aside(session_file_);
    before.inbox = inbox().size();
    before.shell_id = link_shell_id();
    return before;
  }

  std::vector<sim::InboxMessage> inbox() const {
    const fs::path file = sim::inbox_file(session.home(), session.owner());
    if (!fs::exists(file)) return {};
    sim::FileLock lock(file, sim::LockMode::Shared);
    return sim::load_inbox(session.home(), session.owner());
  }

  std::string link_shell_id() const {
    const auto link = sim::read_link(sim::link_file(session.home(), session.link()));
    return link ? link->shell_id : "";
  }

  // The agent works, idles, marks waits and says it is blocked; more often than not it heads for
  // the next board (a stretch idle for over a minute, then work) and classifies the board's start
  // once it has been shown.
  void move_agent(const Before& before, int number) {
    const Session* last = before.record ? &before.record->session : nullptr;
    if (last && last->board.last_resume && chance(0.7)) {
      const std::string name = "kill_" + std::to_string(number);
      session.agent_say("that was the build !!classify=" + last->board.id + "-0:" + name + "!!");
      queued_.insert(name);
      ++tally.classify_codes;
    } else if (last && chance(0.6)) {
      if (last->machine.activity == Activity::Idle) session.agent_busy();
      if (last->machine.activity == Activity::Busy) session.agent_idle(uniform(61, 120));
    } else {
      const int move = uniform(0, 4);
      if (move == 0) session.agent_idle(uniform(0, 30));
      if (move == 1) session.agent_busy();
      if (move == 2)
        session.agent_say("CI is running !!wait=" + std::to_string(uniform(1, 30)) + "!!");
      if (move == 3) session.agent_say("I need your approval. !!done!!");
    }
  }

  void check_run(const ProgramRun& killed) {
    if (killed.signal != SIGKILL) {
      fault("the shell ended by itself (exit " + std::to_string(killed.exit_code) + ", signal " +
            std::to_string(killed.signal) + "): " + killed.err);
    }
    for (const std::string_view line : split_lines(killed.err)) {
      if (!line.ends_with(kKeptAside)) fault("an unexpected line on stderr: " + std::string(line));
    }
  }

  // The classes seen so far must all be there, each classified once, and only the test's. True
  // when a class came in.
  bool check_registry() {
    const fs::path file = session.state_file();
    if (!fs::exists(file)) {
      if (!known_.empty()) fault("the state file vanished");
      return false;
    }
    const auto state = read_state(session);
    if (!state) {
      fault("a torn or unreadable state file: " + read_file(file));
      return false;
    }
    const std::size_t known_before = known_.size();
    for (const std::string& name : known_) {
      if (!state->registry.contains(name)) fault("class " + name + " was lost");
    }
    for (const auto& [name, saved] : state->registry) {
      if (!queued_.contains(name)) fault("a class nobody classified: " + name);
      if (saved.count != 1) fault("class " + name + " classified more than once");
      if (known_.insert(name).second) ++tally.classified;
    }
    return known_.size() > known_before;
  }

  void check_session(const Before& before, const std::string& err, bool classified) {
    const auto after = read_if_present(session_file_);
    const auto after_tmp = read_if_present(fs::path(session_file_) += ".tmp");
    const auto state_tmp = read_if_present(fs::path(session.state_file()) += ".tmp");
    tally.session_writes += after != before.session;
    tally.caught_mid_session += after_tmp && after_tmp != before.session_tmp;
    tally.caught_mid_state += state_tmp && state_tmp != before.state_tmp;
    tally.beside_leftover += before.session_tmp.has_value();
    const std::string bound = link_shell_id();
    tally.takeovers += bound != before.shell_id;

    const auto messages = inbox();
    std::vector<std::string> intros_from;
    for (std::size_t i = before.inbox; i < messages.size(); ++i) {
      if (messages[i].text.starts_with(kIntroStart))
        intros_from.push_back(messages[i].from.value_or(""));
    }
    tally.intros += static_cast<int>(intros_from.size());
    if (intros_from.size() > 1) fault("more than one intro from one start");
    for (const std::string& from : intros_from) {
      if (from != bound) fault("an intro from " + from + " by a shell bound as " + bound);
    }

    const std::set<std::string> kept = kept_aside(session_file_);
    if (before.session && !before.record) {
      check_damaged(before, kept, err);
      return;
    }
    if (kept != before.kept) fault("a whole or missing session file was kept aside: " + err);
    if (!before.record) return;
    if (before.record->shell_id == bound && !intros_from.empty()) {
      fault("an intro though the session of " + bound + " was there to restore");
    }
    if (after == before.session) return;
    // Only a classification begins a new board, and it can only classify the restored one.
    const auto now = after ? decode_session(*after) : std::nullopt;
    if (now && now->session.board.id != before.record->session.board.id && !classified) {
      fault("the board changed without a classification: the session was not restored");
    }
    ++tally.restored;
  }

  // A damaged file must be kept aside with its line, unless the kill came before the shell read it.
  void check_damaged(const Before& before, const std::set<std::string>& kept,
                     const std::string& err) {
    ++tally.kept_aside;
    fault("a session file was left damaged: " + *before.session);
    if (kept.size() == before.kept.size()) return;
    if (err.find("kept as") == std::string::npos)
      fault("a session file kept aside without its line");
  }

  void check_folder() {
    std::set<std::string> expected{"sessions/demo.json", "sessions/demo.json.tmp",
                                   "state/demo.json", "state/demo.json.tmp"};
    for (const auto& entry : fs::recursive_directory_iterator(session.state_dir())) {
      if (entry.is_directory()) continue;
      const std::string name = fs::relative(entry.path(), session.state_dir()).string();
      if (!expected.contains(name) && !name.starts_with("sessions/demo.json.bad-")) {
        fault("an unexpected file in the state folder: " + name);
      }
    }
  }

  std::mt19937 random_;
  TempDir scratch_;
  fs::path session_file_;
  RunLock lock_;
  std::set<std::string> queued_;  // the classes the agent asked for
  std::set<std::string> known_;   // the classes the state file has held
  int number_ = 0;
  milliseconds first_write_{50};
};

unsigned kill_seed() {
  if (const char* given = std::getenv("KELVO_KILL_SEED")) {
    if (const auto seed = parse_u32(given)) return *seed;
  }
  return std::random_device{}();
}

TEST(FaultKill, EveryStartAfterASigkillRestoresTheSessionAndKeepsTheRegistry) {
  const unsigned seed = kill_seed();
  SCOPED_TRACE("seed " + std::to_string(seed) + " (KELVO_KILL_SEED=" + std::to_string(seed) +
               " replays its moves and kill moments)");
  KillRun run(seed);
  const auto began = Clock::now();
  for (int round = 0; round < kKills && run.faults.empty(); ++round) run.round(round);
  if (run.faults.empty()) run.finish();
  for (const std::string& fault : run.faults) ADD_FAILURE() << fault;
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - began);
  std::cout << "seed " << seed << ": " << run.tally << "; a start's first session write after ~"
            << run.first_write().count() << " ms; " << took.count() << " ms in all\n";
  EXPECT_EQ(run.tally.kills, kKills);
  // Under the sanitizers a start is too slow to reach a board before its kill.
  EXPECT_TRUE(kSanitized || run.tally.classified > 0);
  EXPECT_EQ(run.tally.kept_aside, 0);
}

}  // namespace
}  // namespace kelvo::testing
