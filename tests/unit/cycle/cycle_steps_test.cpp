#include "cycle/cycle_steps.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/frame_escape.hpp"
#include "frame/frame_mac.hpp"
#include "qrn-sim/frames.hpp"
#include "support/bound_run.hpp"
#include "support/link_token.hpp"

namespace kelvo {
namespace {

constexpr std::uint64_t kStart = 1'800'000'000'000;
using testing::kLink;

WallTime at_s(std::uint64_t seconds) { return at_epoch_ms(kStart + seconds * 1000); }

testing::BoundRun bound_run() { return testing::bound_run(kLink, at_s(0)); }

HostOutput agent_says(const std::string& text) {
  const std::string frame =
      "<EVENT type=\"io\" kind=\"AGENT_OUTPUT\">" + escape_body(text) + "</EVENT>";
  return {*sign_frame(frame, kLink) + "\n", "", std::nullopt};
}

HostOutput activity(bool idle, WallTime since) {
  return {sim::activity_frame(idle, epoch_ms(since)) + "\n", "", std::nullopt};
}

std::vector<ShellEvent> events_of(const Outbox& outbox) {
  std::vector<ShellEvent> events;
  for (const Effect& effect : outbox.effects) {
    if (const auto* event = std::get_if<ShellEvent>(&effect)) events.push_back(*event);
  }
  return events;
}

// One whole cycle's decisions, as the driver runs them.
Outbox cycle(testing::BoundRun& context, const HostOutput& poll, const HostOutput& drive_poll,
             WallTime now) {
  auto& [run, state] = context;
  Outbox outbox;
  PollReading reading = read_poll(run, state, poll, now, outbox);
  read_codes(run, state, reading, std::nullopt, now, outbox);
  read_activity(run, state, drive_poll, reading, now, outbox);
  judge_nudge(run, state, now, outbox);
  return outbox;
}

TEST(CycleSteps, ADoneIsToldAsBlockedWithItsTextAndRemindedEveryFourHours) {
  testing::BoundRun context = bound_run();
  cycle(context, {}, activity(true, at_s(0)), at_s(10));
  const std::string said = std::string(400, 'x') + " CI needs a human approval !!done!!";
  const Outbox told = cycle(context, agent_says(said), activity(true, at_s(0)), at_s(20));
  const auto events = events_of(told);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, ShellEventKind::Blocked);
  EXPECT_EQ(events[0].since, at_s(0));
  EXPECT_LE(events[0].detail.size(), 300u);
  EXPECT_NE(events[0].detail.find("human approval !!done!!"), std::string::npos);
  EXPECT_EQ(pacing_of(context.state), Pacing::Blocked);

  // Said again while it holds, it is not told again: the reminder comes on its own.
  EXPECT_TRUE(
      events_of(cycle(context, agent_says("still !!done!!"), activity(true, at_s(0)), at_s(30)))
          .empty());
  EXPECT_TRUE(events_of(cycle(context, {}, activity(true, at_s(0)), at_s(4 * 3600))).empty());
  const auto reminded = events_of(cycle(context, {}, activity(true, at_s(0)), at_s(4 * 3600 + 20)));
  ASSERT_EQ(reminded.size(), 1u);
  EXPECT_EQ(reminded[0].reminder, 1u);

  const auto back = events_of(cycle(context, {}, activity(false, at_s(5 * 3600)), at_s(5 * 3600)));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].kind, ShellEventKind::Resumed);
  EXPECT_EQ(pacing_of(context.state), Pacing::Busy);

  // A done that comes with the edge back to work holds nothing, and nobody is told of it.
  cycle(context, {}, activity(true, at_s(6 * 3600)), at_s(6 * 3600));
  const auto at_work = cycle(context, agent_says("!!done!!"), activity(false, at_s(6 * 3600 + 5)),
                             at_s(6 * 3600 + 5));
  EXPECT_TRUE(events_of(at_work).empty());
}

TEST(CycleSteps, ACodeBelongsToTheNewerIdleStretchReportedInTheSameCycle) {
  for (const std::string code : {"!!done!!", "!!wait=20!!"}) {
    testing::BoundRun context = bound_run();
    cycle(context, {}, activity(true, at_s(0)), at_s(10));
    // The agent was at work for a spell too short to see, then idle again from 300 s.
    cycle(context, agent_says("later " + code), activity(true, at_s(300)), at_s(301));
    if (code == "!!done!!") {
      EXPECT_EQ(pacing_of(context.state), Pacing::Blocked) << code;
      EXPECT_EQ(context.state.session.machine.timer, std::nullopt) << code;
    } else {
      EXPECT_EQ(pacing_of(context.state), Pacing::Waiting) << code;
      EXPECT_EQ(context.state.session.machine.timer, at_s(300 + 20 * 60)) << code;
    }
  }
}

// The agent worked in between, too briefly for the shell to see: its done no longer holds, and
// whoever heard it was blocked hears it is back.
TEST(CycleSteps, ANewerIdleStretchAfterBlockedIsToldAsResumed) {
  testing::BoundRun context = bound_run();
  cycle(context, {}, activity(true, at_s(0)), at_s(10));
  ASSERT_EQ(
      events_of(cycle(context, agent_says("!!done!!"), activity(true, at_s(0)), at_s(20))).size(),
      1u);
  const auto later = events_of(cycle(context, {}, activity(true, at_s(300)), at_s(301)));
  ASSERT_EQ(later.size(), 1u);
  EXPECT_EQ(later[0].kind, ShellEventKind::Resumed);
  EXPECT_EQ(pacing_of(context.state), Pacing::Nudging);
}

TEST(CycleSteps, TheNthNudgeOfAStretchIsToldOnceAsUnresponsive) {
  testing::BoundRun context = bound_run();
  context.run.unresponsive_after = 2;
  std::vector<ShellEventKind> kinds;
  for (std::uint64_t s = 0; s < 1200; s += 10) {
    for (const ShellEvent& event :
         events_of(cycle(context, {}, activity(true, at_s(0)), at_s(s)))) {
      kinds.push_back(event.kind);
      EXPECT_EQ(event.nudges, 2u);
      EXPECT_EQ(event.since, at_s(0));
    }
  }
  EXPECT_EQ(kinds, std::vector<ShellEventKind>{ShellEventKind::Unresponsive});
  EXPECT_EQ(pacing_of(context.state), Pacing::Unresponsive);
  EXPECT_EQ(context.state.session.attention.total_nudges, 3u);  // 1, 3 and 8 minutes in
  const auto back = events_of(cycle(context, {}, activity(false, at_s(1300)), at_s(1300)));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].kind, ShellEventKind::Resumed);
}

TEST(CycleSteps, TellsTheHostFailingOnceAndItsRecoveryAndTheEndOfTheRun) {
  testing::BoundRun context = bound_run();
  const HostOutput failed{"", "database locked\n", "exit status 1; stderr \"database locked\""};
  std::vector<std::pair<ShellEventKind, std::string>> told;
  const auto note = [&](const Outbox& outbox) {
    for (const ShellEvent& event : events_of(outbox)) told.emplace_back(event.kind, event.detail);
  };
  // A send that ran and failed counts like a failed poll.
  context.state.send_failure = "send exit status 3";
  note(cycle(context, {}, activity(false, at_s(0)), at_s(0)));
  for (std::uint64_t s = 1; s <= 700; s += 1) note(cycle(context, failed, {}, at_s(s)));
  // The polls succeed again, but the send path stays failing until a send succeeds.
  note(cycle(context, {}, activity(false, at_s(0)), at_s(701)));
  context.state.send_failure.reset();
  note(cycle(context, {}, activity(false, at_s(0)), at_s(702)));
  const HostOutput refused{"", "AUTH_REFUSED: no instance holds this link token\n",
                           "exit status 1"};
  for (int i = 0; i < 3; ++i) note(cycle(context, refused, {}, at_s(703)));

  const std::string gone = "link no longer held by KELVO-0 — superseded, exiting";
  const std::vector<std::pair<ShellEventKind, std::string>> expected = {
      {ShellEventKind::HostFailing, "poll exit status 1; stderr \"database locked\""},
      // The failures began with the send, at 0 s.
      {ShellEventKind::HostRecovered, "host calls succeed again after 11m42s of failures"},
      {ShellEventKind::Ending, gone},
  };
  EXPECT_EQ(told, expected);
  ASSERT_TRUE(context.state.ended);
  EXPECT_EQ(context.state.ended->line, gone);
}

}  // namespace
}  // namespace kelvo
