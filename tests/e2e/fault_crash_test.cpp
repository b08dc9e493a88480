// The shell killed with SIGKILL at random moments of its save path, a few hundred times, while
// it classifies in a tight loop: the state file must always be absent or whole, and no finished
// classification may be lost.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/text.hpp"
#include "state/state_codec.hpp"
#include "state/state_file.hpp"
#include "support/sanitized.hpp"
#include "support/shell_script.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLanes = 8;
// Each lane kills this often; a slow machine (other builds) takes longer, up to the cap, rather
// than killing less often.
constexpr int kKillsPerLane = stress_rounds(25, 6);
constexpr auto kLaneCap = std::chrono::seconds(180);
constexpr auto kMarkTimeout = std::chrono::seconds(60);

// The agent as a script around qrn-sim. Each bind queues a wait (checkpoint :1; a classification
// an earlier run left queued names the board the session kept, so it may succeed as well); each
// drive-poll reports a
// minute of idleness ended just now, so every cycle shows the board; each board is answered with
// a classification of its :1 and a new wait, which the next poll carries. That poll writes "c"
// to the marks FIFO as it ends, just before the shell classifies and saves; each drive-poll
// writes "d" as it starts, just after.
constexpr std::string_view kAgentScript = R"(case "$4" in
bind-shell)
  @SIM@ "$@" || exit $?
  rm -f @QUEUED@
  @SIM@ agent say demo -- 'waiting on CI !!wait=1!!'
  exit 0 ;;
poll)
  @SIM@ "$@"
  status=$?
  if [ -e @QUEUED@ ]; then rm @QUEUED@; printf c > @MARKS@; fi
  exit $status ;;
drive-poll)
  printf d > @MARKS@
  @SIM@ agent idle demo --ago 61 && @SIM@ "$@" && @SIM@ agent busy demo && exec @SIM@ "$@" ;;
esac
if [ "$1" = send ]; then
  IFS= read -r first
  case "$first" in *'stretch board `'*)
    id=${first#*stretch board \`}
    @SIM@ agent say demo -- "!!classify=${id%%\`*}-1:crash_wait!! !!wait=1!!"
    : > @QUEUED@ ;;
  esac
  exit 0
fi
exec @SIM@ "$@"
)";

std::string agent_script(const fs::path& dir) {
  const auto quoted = [](const fs::path& path) { return "'" + path.string() + "'"; };
  std::string script = replace_all(kAgentScript, "@SIM@", quoted(sim_program()));
  script = replace_all(script, "@QUEUED@", quoted(dir / "classify-queued"));
  return replace_all(script, "@MARKS@", quoted(dir / "marks"));
}

// The read end of the marks FIFO, held read-write so the host's writes never block on it. It is
// unlinked before it closes, so a host left over from a killed shell can't block on it either.
class Marks {
 public:
  explicit Marks(fs::path path) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  ~Marks() {
    fs::remove(path_);
    ::close(fd_);
  }
  Marks(const Marks&) = delete;
  Marks& operator=(const Marks&) = delete;

  // Waits for the next mark; nothing when none comes in time.
  std::optional<char> next(std::chrono::milliseconds timeout = kMarkTimeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      char mark = 0;
      if (::read(fd_, &mark, 1) == 1) return mark;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd waiting{fd_, POLLIN, 0};
      ::poll(&waiting, 1, static_cast<int>(left.count()));
    }
  }

  // Waits for `wanted`, passing over other marks.
  bool wait_for(char wanted) {
    for (auto mark = next(); mark; mark = next()) {
      if (*mark == wanted) return true;
    }
    return false;
  }

  // Drops marks left by the previous run.
  void clear() {
    char mark = 0;
    while (::read(fd_, &mark, 1) == 1) {
    }
  }

 private:
  fs::path path_;
  int fd_ = -1;
};

struct LaneResult {
  int kills = 0;
  int saved_before_kill = 0;  // the count went up over the kill
  int caught_mid_save = 0;    // a fresh temporary file was left: killed between write and rename
  std::uint64_t total = 0;    // classifications in the file at the end
  std::vector<std::string> faults;
};

std::uint64_t classifications(const OwnerState& state) {
  std::uint64_t total = 0;
  for (const auto& [name, stat] : state.registry) total += stat.count;
  return total;
}

// What a temporary file looked like, to tell a fresh one from one an earlier kill left.
std::optional<std::pair<fs::file_time_type, std::string>> temporary_seen(const fs::path& tmp) {
  std::error_code error;
  const auto written = fs::last_write_time(tmp, error);
  if (error) return std::nullopt;
  return std::pair(written, read_file(tmp));
}

void spin_for(std::chrono::nanoseconds delay) {
  const auto until = Clock::now() + delay;
  while (Clock::now() < until) {
  }
}

LaneResult run_lane(unsigned seed) {
  LaneResult result;
  std::mt19937 random(seed);
  TempDir dir;
  ShellSession session;
  const fs::path host = write_shell_script(dir.path(), "qrn", agent_script(dir.path()));
  Marks marks(dir.path() / "marks");
  const fs::path file = session.state_file();
  const fs::path tmp = file.string() + ".tmp";
  const ShellLaunch launch{.host = host, .extra_args = {}, .extra_env = {}};

  // One undisturbed round measures the save path: from the poll's end to the next host call.
  session.start_shell(launch);
  if (!marks.wait_for('c')) {
    result.faults.push_back("no classification came: " + session.shell_err());
    return result;
  }
  const auto poll_ended = Clock::now();
  marks.wait_for('d');
  const auto save_path =
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - poll_ended);
  session.stop_shell();
  std::uniform_int_distribution<std::int64_t> kill_after(0, 2 * save_path.count());

  std::uint64_t last_total = classifications(*load_state(file));
  auto last_temporary = temporary_seen(tmp);
  const auto lane_end = Clock::now() + kLaneCap;
  while (result.kills < kKillsPerLane && Clock::now() < lane_end) {
    marks.clear();
    session.start_shell(launch);
    if (!marks.wait_for('c')) {
      result.faults.push_back("no classification came: " + session.shell_err());
      break;
    }
    spin_for(std::chrono::nanoseconds(kill_after(random)));
    session.stop_shell();
    ++result.kills;

    const auto temporary = temporary_seen(tmp);
    if (temporary && temporary != last_temporary) ++result.caught_mid_save;
    last_temporary = temporary;
    if (!fs::exists(file)) {
      if (last_total > 0) result.faults.push_back("the state file vanished");
      continue;
    }
    const std::string text = read_file(file);
    const auto parsed = parse_state(text);
    const OwnerState loaded = *load_state(file);
    const std::uint64_t total = classifications(loaded);
    if (!parsed || loaded == OwnerState{}) {
      result.faults.push_back("a torn or unreadable state file: " + text);
    } else if (total < last_total) {
      result.faults.push_back("classifications lost: " + std::to_string(last_total) + " then " +
                              std::to_string(total));
    } else if (total > last_total + 2) {
      // The run's own, and the one the last run left queued for the board it kept.
      result.faults.push_back("more than two classifications in one run: " + text);
    }
    result.saved_before_kill += total > last_total ? 1 : 0;
    last_total = std::max(last_total, total);
  }
  result.total = last_total;
  return result;
}

TEST(FaultCrash, StateFileIsNeverTornOrRolledBackBySigkill) {
  const unsigned seed = std::random_device{}();
  std::vector<LaneResult> results(kLanes);
  std::vector<std::thread> lanes;
  for (int lane = 0; lane < kLanes; ++lane) {
    lanes.emplace_back([&, lane] {
      try {
        results[lane] = run_lane(seed + lane);
      } catch (const std::exception& error) {
        results[lane].faults.push_back(error.what());
      }
    });
  }
  for (auto& lane : lanes) lane.join();

  LaneResult all;
  for (const LaneResult& lane : results) {
    all.kills += lane.kills;
    all.saved_before_kill += lane.saved_before_kill;
    all.caught_mid_save += lane.caught_mid_save;
    all.total += lane.total;
    for (const std::string& fault : lane.faults) ADD_FAILURE() << fault;
  }
  std::cout << "seed " << seed << ": " << all.kills << " kills, " << all.saved_before_kill
            << " after the save finished, " << all.caught_mid_save << " between write and rename; "
            << all.total << " classifications kept\n";
  EXPECT_GE(all.kills, kLanes * kKillsPerLane / 2);
  // Kills fell on both sides of the rename, so the save path was actually crossed.
  EXPECT_GT(all.saved_before_kill, 0);
  EXPECT_LT(all.saved_before_kill, all.kills);
}

}  // namespace
}  // namespace kelvo::testing
