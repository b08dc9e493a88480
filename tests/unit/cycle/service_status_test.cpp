#include "cycle/service_status.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/bound_run.hpp"
#include "support/local_zone.hpp"

namespace kelvo {
namespace {

using testing::k102905;

WallTime at(std::uint64_t seconds_after) { return at_epoch_ms(k102905 + seconds_after * 1000); }

testing::BoundRun bound_run() { return testing::bound_run("link", at(0)); }

// The host reports an activity edge, as a cycle passes it on.
void report(ShellState& state, Activity activity, WallTime since) {
  const ActivityEdge edge{activity, since};
  state.session.activity.last = edge;
  static_cast<void>(on_activity(state.session.machine, edge));
}

class ServiceStatus : public testing::LocalZoneTest {};

TEST_F(ServiceStatus, ShowsEachPieceOfTheRun) {
  use_zone("UTC0");
  struct Case {
    std::string name;
    std::function<void(testing::BoundRun&)> arrange;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"start-up", [](testing::BoundRun&) {},
       "demo: busy (no report yet); no nudge while busy; board cqijcs :0; 0 classes; host calls "
       "ok"},
      {"busy",
       [](testing::BoundRun& c) {
         report(c.state, Activity::Busy, at(0));
         c.state.owner_state.registry["ci_run"] = {};
       },
       "demo: busy since 10:29:05; no nudge while busy; board cqijcs :0; 1 class; host calls ok"},
      {"idle with a wait marked",
       [](testing::BoundRun& c) {
         report(c.state, Activity::Idle, at(0));
         mark_checkpoint(c.state.session.board, at(30));
         c.state.owner_state.registry["ci_run"] = {};
       },
       "demo: idle since 10:29:05; next nudge 10:30:05; board cqijcs :0 :1; 1 class; host calls "
       "ok"},
      {"paused while idle",
       [](testing::BoundRun& c) {
         report(c.state, Activity::Idle, at(0));
         apply_pause(c.state.session.machine, std::nullopt, at(10));
       },
       "demo: idle since 10:29:05; paused by the operator; board cqijcs :0; 0 classes; host calls "
       "ok"},
      {"blocked by the agent",
       [](testing::BoundRun& c) {
         report(c.state, Activity::Idle, at(0));
         apply_pause(c.state.session.machine, std::nullopt, at(70));
         c.state.session.attention.blocked = Attention::Blocked{at(70), "", at(70), 0};
       },
       "demo: idle since 10:29:05; blocked on a human since 10:30; board cqijcs :0; 0 classes; "
       "host calls ok"},
      {"unresponsive",
       [](testing::BoundRun& c) {
         report(c.state, Activity::Idle, at(0));
         c.state.session.attention.stretch_nudges = 4;
         c.state.session.attention.unresponsive = true;
       },
       "demo: idle since 10:29:05; unresponsive: 4 nudges since 10:29; board cqijcs :0; 0 "
       "classes; host calls ok"},
      {"delay while busy",
       [](testing::BoundRun& c) {
         report(c.state, Activity::Busy, at(0));
         apply_pause(c.state.session.machine, 30, at(10));
       },
       "demo: busy since 10:29:05; no nudge: delay 30m held for the next idle stretch; board "
       "cqijcs :0; 0 classes; host calls ok"},
      {"host calls failing",
       [](testing::BoundRun& c) {
         c.state.session.host_health.failing_since = at(115);
         c.state.owner_state.registry = {{"a", {}}, {"b", {}}};
       },
       "demo: busy (no report yet); no nudge while busy; board cqijcs :0; 2 classes; host calls "
       "failing since 10:31:00"},
      {"no owner", [](testing::BoundRun& c) { c.run.owner.reset(); },
       "no owner: busy (no report yet); no nudge while busy; board cqijcs :0; 0 classes; host "
       "calls ok"},
      // A line break in the owner would start a new assignment of its own.
      {"owner with controls", [](testing::BoundRun& c) { c.run.owner = "de\nREADY=1\xff"; },
       "de\\nREADY=1\xEF\xBF\xBD: busy (no report yet); no nudge while busy; board cqijcs :0; 0 "
       "classes; host calls ok"},
  };
  for (const Case& c : cases) {
    testing::BoundRun context = bound_run();
    c.arrange(context);
    EXPECT_EQ(service_status(context.run, context.state), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace kelvo
