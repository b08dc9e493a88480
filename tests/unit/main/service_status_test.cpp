#include "main/service_status.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/local_zone.hpp"

namespace kelvo {
namespace {

constexpr std::uint64_t k102905 = 1796725745000;  // 10:29:05 UTC

WallTime at(std::uint64_t seconds_after) { return at_epoch_ms(k102905 + seconds_after * 1000); }

// A run bound as KELVO-0 for demo, with the board cqijcs begun at 10:29:05.
ShellContext bound_run() {
  return ShellContext{
      .link = "link",
      .frame_key = derive_frame_key("link"),
      .owner = "demo",
      .polled = PolledShell{.shell_id = "KELVO-0", .activity = {}, .refusal_streak = 0},
      .state_file = std::nullopt,
      .machine = {},
      .counters = {},
      .owner_state = {},
      .board = StretchBoard("cqijcs", at(0)),
      .host_health = {},
  };
}

// The host reports an activity edge, as a cycle passes it on.
void report(ShellContext& context, Activity activity, WallTime since) {
  const ActivityEdge edge{activity, since};
  context.polled->activity.last = edge;
  static_cast<void>(on_activity(context.machine, edge));
}

class ServiceStatus : public testing::LocalZoneTest {};

TEST_F(ServiceStatus, ShowsEachPieceOfTheRun) {
  use_zone("UTC0");
  struct Case {
    std::string name;
    std::function<void(ShellContext&)> arrange;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"start-up", [](ShellContext&) {},
       "demo: busy (no report yet); no nudge while busy; board cqijcs :0; 0 classes; host calls "
       "ok"},
      {"busy",
       [](ShellContext& c) {
         report(c, Activity::Busy, at(0));
         c.owner_state.registry["ci_run"] = {};
       },
       "demo: busy since 10:29:05; no nudge while busy; board cqijcs :0; 1 class; host calls ok"},
      {"idle with a wait marked",
       [](ShellContext& c) {
         report(c, Activity::Idle, at(0));
         mark_checkpoint(c.board, at(30));
         c.owner_state.registry["ci_run"] = {};
       },
       "demo: idle since 10:29:05; next nudge 10:30:05; board cqijcs :0 :1; 1 class; host calls "
       "ok"},
      {"done or paused while idle",
       [](ShellContext& c) {
         report(c, Activity::Idle, at(0));
         apply_pause(c.machine, std::nullopt, at(10));
       },
       "demo: idle since 10:29:05; no nudge: paused; board cqijcs :0; 0 classes; host calls ok"},
      {"delay while busy",
       [](ShellContext& c) {
         report(c, Activity::Busy, at(0));
         apply_pause(c.machine, 30, at(10));
       },
       "demo: busy since 10:29:05; no nudge: delay 30m held for the next idle stretch; board "
       "cqijcs :0; 0 classes; host calls ok"},
      {"host calls failing",
       [](ShellContext& c) {
         c.host_health.failing_since = at(115);
         c.owner_state.registry = {{"a", {}}, {"b", {}}};
       },
       "demo: busy (no report yet); no nudge while busy; board cqijcs :0; 2 classes; host calls "
       "failing since 10:31:00"},
      {"no owner", [](ShellContext& c) { c.owner.reset(); },
       "no owner: busy (no report yet); no nudge while busy; board cqijcs :0; 0 classes; host "
       "calls ok"},
      // A line break in the owner would start a new assignment of its own.
      {"owner with controls", [](ShellContext& c) { c.owner = "de\nREADY=1\xff"; },
       "de\\nREADY=1\xEF\xBF\xBD: busy (no report yet); no nudge while busy; board cqijcs :0; 0 "
       "classes; host calls ok"},
  };
  for (const Case& c : cases) {
    ShellContext context = bound_run();
    c.arrange(context);
    EXPECT_EQ(service_status(context), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace kelvo
