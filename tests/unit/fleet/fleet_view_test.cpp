#include "fleet/fleet_view.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "fleet/fleet_cli.hpp"
#include "support/local_zone.hpp"

namespace kelvo {
namespace {

using testing::k102905;
const WallTime kNow = at_epoch_ms(k102905);

WallTime ago(std::int64_t secs) { return at_epoch_ms(k102905 - secs * 1000); }

const std::set<std::int32_t> kDead = {13, 17};
bool alive(std::int32_t pid) { return !kDead.contains(pid); }

StatusFile file(std::string owner, std::int32_t pid, Pacing pacing, std::int64_t updated_ago = 5) {
  RuntimeStatus status;
  status.version = "0.6.1";
  status.pid = pid;
  status.owner = owner;
  status.shell_id = "KELVO-" + std::to_string(pid);
  status.updated = ago(updated_ago);
  status.pacing = pacing;
  return {owner + ".json", status, status.updated};
}

// Its host calls failing since this long before its update.
StatusFile failing_for(StatusFile file, std::int64_t ms) {
  file.status.host = {false, file.status.updated - Millis(ms), "poll exit status 1"};
  return file;
}

StatusFile ended(StatusFile file, std::optional<std::string> cause) {
  file.status.ended = RuntimeEnd{"an end", 0, ago(1), std::move(cause)};
  return file;
}

class FleetView : public testing::LocalZoneTest {};

TEST_F(FleetView, PutsTheShellsThatNeedAPersonFirstAndSaysWhy) {
  StatusFile modified_long_ago = file("juliet", 20, Pacing::Busy);
  modified_long_ago.modified = ago(181);
  std::vector<StatusFile> files = {
      file("alpha", 10, Pacing::Busy),
      file("bravo", 11, Pacing::Nudging),
      failing_for(file("charlie", 12, Pacing::Blocked), 60000),
      file("delta", 13, Pacing::Busy),               // dead without an end
      file("echo", 14, Pacing::Busy, 181),           // no update for over 3 minutes
      file("foxtrot", 15, Pacing::Paused, 180),      // just within 3 minutes
      ended(file("golf", 17, Pacing::Blocked), {}),  // dead after an end of an older shell
      file("hotel", 18, Pacing::Unresponsive, -10),  // dated ahead of now
      file("india", 19, Pacing::Busy, -24 * 3600),   // dated a day ahead
      modified_long_ago,                             // fresh by its word, not by its file's time
      failing_for(file("kilo", 21, Pacing::Busy), 59999),  // failing, not yet for a minute
      ended(file("lima", 13, Pacing::Busy), "stopped"),
      ended(file("mike", 22, Pacing::Blocked), "revoked"),  // its process not yet gone
  };
  const auto view = make_fleet_view(files, {}, kNow, alive);
  const struct {
    std::string owner, state;
    std::vector<std::string> needs;
  } expected[] = {
      {"charlie", "blocked", {"blocked", "host-failing"}},
      {"delta", "gone", {"gone"}},
      {"echo", "stale", {"stale"}},
      {"hotel", "unresponsive", {"unresponsive"}},
      {"india", "stale", {"stale"}},
      {"juliet", "stale", {"stale"}},
      {"alpha", "busy", {}},
      {"bravo", "nudging", {}},
      {"foxtrot", "paused", {}},
      {"golf", "ended", {}},
      {"kilo", "busy", {}},
      {"lima", "stopped", {}},
      {"mike", "ended", {}},
  };
  ASSERT_EQ(view.shells.size(), std::size(expected));
  for (std::size_t i = 0; i < view.shells.size(); ++i) {
    std::vector<std::string> needs;
    for (const Need need : view.shells[i].needs) needs.emplace_back(need_name(need));
    EXPECT_EQ(view.shells[i].status.owner, expected[i].owner) << i;
    EXPECT_EQ(view.shells[i].state, expected[i].state) << expected[i].owner;
    EXPECT_EQ(needs, expected[i].needs) << expected[i].owner;
  }
  EXPECT_EQ(view.shells[3].update_age, Millis::zero());
  EXPECT_EQ(view.shells[5].update_age, Millis(181000));  // by the file's time
  EXPECT_TRUE(view.needs_person());
  const std::vector<StatusFile> nobody = {files[0], files[5], files[6], files[10], files[11]};
  EXPECT_FALSE(make_fleet_view(nobody, {}, kNow, alive).needs_person());
  // A file that could not be read may be a shell that needs a person.
  EXPECT_TRUE(make_fleet_view(nobody, {{"x.json", "not JSON"}}, kNow, alive).needs_person());
}

TEST_F(FleetView, ShowsATableAndTheSameAsJson) {
  use_zone("UTC0");
  StatusFile blocked = file("demo", 12, Pacing::Blocked);
  blocked.status.activity = Activity::Idle;
  blocked.status.since = ago(25 * 60);
  blocked.status.nudges = 2;
  blocked.status.nudges_total = 7;
  blocked.status.host = {false, ago(190), "exit status 3"};
  StatusFile busy = file("evil\u202e\x1b[2J", 10, Pacing::Waiting);
  busy.status.shell_id.reset();
  busy.status.next_nudge = ago(-90);
  busy.status.host = {false, ago(6), "poll exit status 1"};  // one failed call: no need yet
  StatusFile killed = blocked;  // its stretch, next nudge and host ended with it
  killed.status.owner = "killed";
  killed.status.pid = 13;
  killed.status.next_nudge = ago(-60);
  const auto view = make_fleet_view({busy, blocked, killed}, {{"x.json", "not JSON"}}, kNow, alive);
  EXPECT_EQ(
      fleet_table(view, false),
      "OWNER              SHELL     STATE    SINCE       NEXT NUDGE  NUDGES  HOST         "
      "UPDATED\n"
      "demo               KELVO-12  blocked  10:04 ~25m  -           2/7     failing ~3m  ~5s\n"
      "killed             KELVO-12  gone     -           -           2/7     -            ~5s\n"
      "evil\\u202e\\x1b[2J  -         waiting  -           10:30       0/0     failing ~6s  ~5s\n"
      "3 shells, 2 need a person; 1 file skipped needs a person\n");
  const std::string coloured = fleet_table(view, true);
  EXPECT_NE(coloured.find("\n\x1b[31mdemo  "), std::string::npos) << coloured;
  EXPECT_NE(coloured.find("~5s\x1b[0m\nevil"), std::string::npos) << coloured;

  const auto json = nlohmann::json::parse(fleet_json(view));
  EXPECT_EQ(json["now_ms"], k102905);
  EXPECT_EQ(json["needs_person"], true);
  EXPECT_EQ(json["shells"][0]["needs"], nlohmann::json({"blocked", "host-failing"}));
  EXPECT_EQ(json["shells"][0]["idle_ms"], 25 * 60 * 1000);
  const auto embedded = decode_runtime_status(json["shells"][0]["status"].dump());
  ASSERT_TRUE(embedded) << embedded.failure().reason;
  EXPECT_EQ(*embedded, blocked.status);
  EXPECT_TRUE(json["shells"][1]["idle_ms"].is_null());  // gone: no longer idle
  EXPECT_TRUE(json["shells"][2]["shell_id"].is_null());
  EXPECT_EQ(json["shells"][2]["owner"], busy.status.owner);
  const std::string text = fleet_json(view);
  EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c > 0 && c < 0x7F; }));
  EXPECT_EQ(json["skipped"],
            nlohmann::json::parse(R"([{"file": "x.json", "reason": "not JSON"}])"));
}

TEST_F(FleetView, WritesTheExpositionFormatWithEscapedLabels) {
  StatusFile idle = file("a\"b\\c\nd\x1b\u202e", 12, Pacing::Unresponsive);
  idle.status.shell_id.reset();
  idle.status.activity = Activity::Idle;
  idle.status.since = ago(600);
  idle.status.nudges_total = 4;
  idle = failing_for(idle, 60000);
  idle.status.classes = 3;
  idle.status.hook = RuntimeHook{2, "exit status 6"};
  StatusFile killed = idle;  // gone, ended and stopped shells export their end, no live values
  killed.status.owner = "killed";
  killed.status.pid = 13;
  const StatusFile old = ended(file("old", 11, Pacing::Blocked, 400), {});
  const StatusFile stopped = ended(file("stopped", 14, Pacing::Busy), "stopped");
  const StatusFile stale = file("stale", 15, Pacing::Blocked, 200);  // live values, though stale
  const std::string text = fleet_exposition(
      make_fleet_view({idle, killed, old, stopped, stale}, {{"x.json", "not JSON"}}, kNow, alive));
  EXPECT_EQ(
      text,
      R"(# HELP kelvo_up 1 while the shell runs and keeps its runtime status fresh; 0 when it is gone, stale, ended or stopped.
# TYPE kelvo_up gauge
kelvo_up{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 1
kelvo_up{owner="killed",shell_id=""} 0
kelvo_up{owner="stale",shell_id="KELVO-15"} 0
kelvo_up{owner="old",shell_id="KELVO-11"} 0
kelvo_up{owner="stopped",shell_id="KELVO-14"} 0
# HELP kelvo_gone 1 when the shell's process died without writing an end.
# TYPE kelvo_gone gauge
kelvo_gone{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 0
kelvo_gone{owner="killed",shell_id=""} 1
kelvo_gone{owner="stale",shell_id="KELVO-15"} 0
kelvo_gone{owner="old",shell_id="KELVO-11"} 0
kelvo_gone{owner="stopped",shell_id="KELVO-14"} 0
# HELP kelvo_stale 1 when the shell's process lives but its runtime status is not fresh (it hangs).
# TYPE kelvo_stale gauge
kelvo_stale{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 0
kelvo_stale{owner="killed",shell_id=""} 0
kelvo_stale{owner="stale",shell_id="KELVO-15"} 1
kelvo_stale{owner="old",shell_id="KELVO-11"} 0
kelvo_stale{owner="stopped",shell_id="KELVO-14"} 0
# HELP kelvo_ended 1 for a shell that ended by itself or was stopped; cause: stopped, taken-over, revoked or superseded.
# TYPE kelvo_ended gauge
kelvo_ended{owner="old",shell_id="KELVO-11",cause="superseded"} 1
kelvo_ended{owner="stopped",shell_id="KELVO-14",cause="stopped"} 1
# HELP kelvo_blocked 1 while the agent has said it is blocked on a person (!!done!!).
# TYPE kelvo_blocked gauge
kelvo_blocked{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 0
kelvo_blocked{owner="stale",shell_id="KELVO-15"} 1
# HELP kelvo_unresponsive 1 while the agent has not answered the nudges of its idle stretch.
# TYPE kelvo_unresponsive gauge
kelvo_unresponsive{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 1
kelvo_unresponsive{owner="stale",shell_id="KELVO-15"} 0
# HELP kelvo_idle_seconds Seconds since the endpoint's idle stretch began; 0 while it is busy.
# TYPE kelvo_idle_seconds gauge
kelvo_idle_seconds{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 600
kelvo_idle_seconds{owner="stale",shell_id="KELVO-15"} 0
# HELP kelvo_nudges_total Nudges the shell has sent since it started.
# TYPE kelvo_nudges_total counter
kelvo_nudges_total{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 4
kelvo_nudges_total{owner="stale",shell_id="KELVO-15"} 0
# HELP kelvo_host_failing 1 while the shell's host calls have failed for a minute.
# TYPE kelvo_host_failing gauge
kelvo_host_failing{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 1
kelvo_host_failing{owner="stale",shell_id="KELVO-15"} 0
# HELP kelvo_classes Classes of wait in the owner's registry.
# TYPE kelvo_classes gauge
kelvo_classes{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 3
kelvo_classes{owner="stale",shell_id="KELVO-15"} 0
# HELP kelvo_hook_failures_total Event hook runs that failed since the shell started.
# TYPE kelvo_hook_failures_total counter
kelvo_hook_failures_total{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 2
kelvo_hook_failures_total{owner="stale",shell_id="KELVO-15"} 0
# HELP kelvo_update_age_seconds Seconds since the shell last rewrote its runtime status.
# TYPE kelvo_update_age_seconds gauge
kelvo_update_age_seconds{owner="a\"b\\c\nd\\x1b\\u202e",shell_id=""} 5
kelvo_update_age_seconds{owner="killed",shell_id=""} 5
kelvo_update_age_seconds{owner="stale",shell_id="KELVO-15"} 200
kelvo_update_age_seconds{owner="old",shell_id="KELVO-11"} 400
kelvo_update_age_seconds{owner="stopped",shell_id="KELVO-14"} 5
# HELP kelvo_files_skipped Files of the runtime folder that could not be read as a runtime status.
# TYPE kelvo_files_skipped gauge
kelvo_files_skipped 1
)");
}

TEST(FleetArgs, TakesTheOptionsAndRefusesWhatItDoesNotKnow) {
  const auto parsed =
      parse_fleet_args({"--prometheus", "--runtime-dir", "/tmp/r", "--output", "o"});
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->format, FleetFormat::Prometheus);
  EXPECT_EQ(parsed->runtime_dir, "/tmp/r");
  EXPECT_EQ(parsed->output, "o");
  EXPECT_EQ(parse_fleet_args({})->runtime_dir, "/run/kelvo-shell");
  EXPECT_EQ(parse_fleet_args({}, "")->runtime_dir, "/run/kelvo-shell");
  EXPECT_EQ(parse_fleet_args({}, "/env")->runtime_dir, "/env");  // KELVO_RUNTIME_DIR
  EXPECT_EQ(parse_fleet_args({"--runtime-dir", "/opt"}, "/env")->runtime_dir, "/opt");
  const struct {
    std::vector<std::string_view> args;
    std::string reason;
  } refused[] = {
      {{"--json", "--prometheus"}, "give at most one of --json and --prometheus"},
      {{"--runtime-dir"}, "--runtime-dir needs a value"},
      {{"--output", ""}, "--output needs a value"},
      {{"--jsn"}, "unknown argument \"--jsn\""},
  };
  for (const auto& c : refused) EXPECT_EQ(parse_fleet_args(c.args).failure().reason, c.reason);
}

}  // namespace
}  // namespace kelvo
