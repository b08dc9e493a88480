#include "fleet/fleet_view.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "fleet/fleet_cli.hpp"
#include "support/local_zone.hpp"

namespace kelvo {
namespace {

constexpr std::uint64_t k102905 = 1796725745000;  // 10:29:05 UTC
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
  return {owner + ".json", status};
}

class FleetView : public testing::LocalZoneTest {};

TEST_F(FleetView, PutsTheShellsThatNeedAPersonFirstAndSaysWhy) {
  std::vector<StatusFile> files = {
      file("alpha", 10, Pacing::Busy),
      file("bravo", 11, Pacing::Nudging),
      file("charlie", 12, Pacing::Blocked),
      file("delta", 13, Pacing::Busy),               // dead without an end
      file("echo", 14, Pacing::Busy, 181),           // no update for over 3 minutes
      file("foxtrot", 15, Pacing::Paused, 180),      // just within 3 minutes
      file("golf", 17, Pacing::Blocked),             // dead after a clean end
      file("hotel", 18, Pacing::Unresponsive, -10),  // dated ahead of now
  };
  files[2].status.host.ok = false;
  files[6].status.ended = RuntimeEnd{"superseded", 0, ago(1)};
  const auto view = make_fleet_view(files, {}, kNow, alive);
  const struct {
    std::string owner, state;
    std::vector<std::string> needs;
  } expected[] = {
      {"charlie", "blocked", {"blocked", "host-failing"}},
      {"delta", "gone", {"gone"}},
      {"echo", "stale", {"stale"}},
      {"hotel", "unresponsive", {"unresponsive"}},
      {"alpha", "busy", {}},
      {"bravo", "nudging", {}},
      {"foxtrot", "paused", {}},
      {"golf", "ended", {}},
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
  EXPECT_TRUE(view.needs_person());
  EXPECT_FALSE(make_fleet_view({files[0], files[5], files[6]}, {}, kNow, alive).needs_person());
}

TEST_F(FleetView, ShowsATableAndTheSameAsJson) {
  use_zone("UTC0");
  StatusFile blocked = file("demo", 12, Pacing::Blocked);
  blocked.status.activity = Activity::Idle;
  blocked.status.since = ago(25 * 60);
  blocked.status.nudges = 2;
  blocked.status.nudges_total = 7;
  blocked.status.host = {false, ago(190), "exit status 3"};
  StatusFile busy = file("evil\x1b[2J", 10, Pacing::Waiting);
  busy.status.shell_id.reset();
  busy.status.next_nudge = ago(-90);
  const auto view = make_fleet_view({busy, blocked}, {{"x.json", "not JSON"}}, kNow, alive);
  EXPECT_EQ(fleet_table(view, false),
            "OWNER        SHELL     STATE    SINCE       NEXT NUDGE  NUDGES  HOST         UPDATED\n"
            "demo         KELVO-12  blocked  10:04 ~25m  -           2/7     failing ~3m  ~5s\n"
            "evil\\x1b[2J  -         waiting  -           10:30       0/0     ok           ~5s\n"
            "2 shells, 1 needs a person; 1 file skipped\n");
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
  EXPECT_TRUE(json["shells"][1]["shell_id"].is_null());
  EXPECT_EQ(json["skipped"],
            nlohmann::json::parse(R"([{"file": "x.json", "reason": "not JSON"}])"));
}

TEST_F(FleetView, WritesTheExpositionFormatWithEscapedLabels) {
  StatusFile idle = file("a\"b\\c\nd", 13, Pacing::Unresponsive);
  idle.status.shell_id.reset();
  idle.status.activity = Activity::Idle;
  idle.status.since = ago(600);
  idle.status.nudges_total = 4;
  StatusFile busy = file("busy", 10, Pacing::Blocked, 30);
  busy.status.classes = 3;
  const std::string text = fleet_exposition(make_fleet_view({idle, busy}, {}, kNow, alive));
  const std::string a = "{owner=\"a\\\"b\\\\c\\nd\",shell_id=\"\"} ";
  const std::string b = "{owner=\"busy\",shell_id=\"KELVO-10\"} ";
  EXPECT_EQ(
      text,
      "# HELP kelvo_up 1 while the shell runs and keeps its runtime status fresh; 0 when it "
      "is gone, stale or ended.\n# TYPE kelvo_up gauge\n"
      "kelvo_up" +
          a + "0\nkelvo_up" + b +
          "1\n"
          "# HELP kelvo_blocked 1 while the agent has said it is blocked on a person "
          "(!!done!!).\n# TYPE kelvo_blocked gauge\n"
          "kelvo_blocked" +
          a + "0\nkelvo_blocked" + b +
          "1\n"
          "# HELP kelvo_unresponsive 1 while the agent has not answered the nudges of its idle "
          "stretch.\n# TYPE kelvo_unresponsive gauge\n"
          "kelvo_unresponsive" +
          a + "1\nkelvo_unresponsive" + b +
          "0\n"
          "# HELP kelvo_idle_seconds Seconds since the endpoint's idle stretch began; 0 while "
          "it is busy.\n# TYPE kelvo_idle_seconds gauge\n"
          "kelvo_idle_seconds" +
          a + "600\nkelvo_idle_seconds" + b +
          "0\n"
          "# HELP kelvo_nudges_total Nudges the shell has sent since it started.\n"
          "# TYPE kelvo_nudges_total counter\n"
          "kelvo_nudges_total" +
          a + "4\nkelvo_nudges_total" + b +
          "0\n"
          "# HELP kelvo_host_failing 1 while the shell's host calls are failing.\n"
          "# TYPE kelvo_host_failing gauge\n"
          "kelvo_host_failing" +
          a + "0\nkelvo_host_failing" + b +
          "0\n"
          "# HELP kelvo_classes Classes of wait in the owner's registry.\n"
          "# TYPE kelvo_classes gauge\n"
          "kelvo_classes" +
          a + "0\nkelvo_classes" + b +
          "3\n"
          "# HELP kelvo_update_age_seconds Seconds since the shell last rewrote its runtime "
          "status.\n# TYPE kelvo_update_age_seconds gauge\n"
          "kelvo_update_age_seconds" +
          a + "5\nkelvo_update_age_seconds" + b + "30\n");
}

TEST(FleetArgs, TakesTheOptionsAndRefusesWhatItDoesNotKnow) {
  const auto parsed =
      parse_fleet_args({"--prometheus", "--runtime-dir", "/tmp/r", "--output", "o"});
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->format, FleetFormat::Prometheus);
  EXPECT_EQ(parsed->runtime_dir, "/tmp/r");
  EXPECT_EQ(parsed->output, "o");
  EXPECT_EQ(parse_fleet_args({})->runtime_dir, "/run/kelvo-shell");
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
