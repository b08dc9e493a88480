#include "machine/pacing_machine.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace kelvo {
namespace {

constexpr std::uint64_t S = 1000000;
constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();

std::string optional_text(const std::optional<std::uint32_t>& value) {
  return value ? std::to_string(*value) : "-";
}

std::string optional_text(const std::optional<WallTime>& value) {
  return value ? std::to_string(epoch_ms(*value)) : "-";
}

// The tables below write times and spans as plain milliseconds.
std::optional<std::uint64_t> in_ms(const std::optional<Millis>& span) {
  if (!span) return std::nullopt;
  return span->count();
}

std::optional<WallTime> at(const std::optional<std::uint64_t>& ms) {
  if (!ms) return std::nullopt;
  return at_epoch_ms(*ms);
}

// Every field in one line, so a mismatch shows the whole state.
std::string describe(const PacingMachine& machine) {
  return std::string(machine.latch == Latch::Raised ? "raised" : "lowered") +
         (machine.activity == Activity::Busy ? " busy" : " idle") +
         " timer=" + optional_text(machine.timer) +
         " idle_since=" + optional_text(machine.idle_since) +
         " held=" + optional_text(machine.held_delay) +
         " step=" + std::to_string(machine.backoff_step) +
         (machine.delay_armed ? " delay_armed" : "");
}

std::string describe(const ClassifyCode& code) {
  return code.designator.id + "-" + std::to_string(code.designator.sub) + ":" + code.class_name;
}

struct Edge {
  bool idle;
  std::uint64_t since;
  std::optional<std::uint64_t> gives = std::nullopt;
};
struct Pause {
  std::optional<std::uint32_t> minutes;
  std::uint64_t now;
};
struct Codes {
  std::vector<InlineCode> codes;
  std::uint64_t now;
  bool waited;
  std::vector<std::string> classified = {};
};
struct Tick {
  std::uint64_t now;
  std::optional<std::uint64_t> gives = std::nullopt;
};

struct Step {
  std::variant<Edge, Pause, Codes, Tick> action;
  // The whole machine after the step, when the scenario pins it down.
  std::optional<PacingMachine> after = std::nullopt;
};

struct Scenario {
  std::string name;
  std::vector<Step> steps;
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

void run_step(PacingMachine& machine, const Step& step) {
  if (const auto* edge = std::get_if<Edge>(&step.action)) {
    const ActivityReport report{edge->idle ? Activity::Idle : Activity::Busy,
                                at_epoch_ms(edge->since)};
    EXPECT_EQ(in_ms(on_activity(machine, report)), edge->gives);
  } else if (const auto* pause = std::get_if<Pause>(&step.action)) {
    apply_pause(machine, pause->minutes, at_epoch_ms(pause->now));
  } else if (const auto* codes = std::get_if<Codes>(&step.action)) {
    const CodeOutcome outcome = apply_codes(machine, codes->codes, at_epoch_ms(codes->now));
    EXPECT_EQ(outcome.waited, codes->waited);
    std::vector<std::string> classified;
    for (const ClassifyCode& code : outcome.classify) classified.push_back(describe(code));
    EXPECT_EQ(classified, codes->classified);
  } else {
    const auto& ticked = std::get<Tick>(step.action);
    EXPECT_EQ(in_ms(tick(machine, at_epoch_ms(ticked.now))), ticked.gives);
  }
  if (step.after) {
    EXPECT_EQ(describe(machine), describe(*step.after));
  }
}

PacingMachine idle_at(std::uint64_t since, std::optional<std::uint64_t> timer, std::size_t step = 0,
                      bool delay_armed = false) {
  return {.activity = Activity::Idle,
          .timer = at(timer),
          .idle_since = at_epoch_ms(since),
          .backoff_step = step,
          .delay_armed = delay_armed};
}

PacingMachine paused_idle_at(std::uint64_t since, std::size_t step = 0) {
  return {.latch = Latch::Lowered,
          .activity = Activity::Idle,
          .idle_since = at_epoch_ms(since),
          .backoff_step = step};
}

PacingMachine busy_holding(std::uint32_t minutes) { return {.held_delay = minutes}; }

const std::vector<Scenario>& scenarios() {
  static const std::vector<Scenario> all = {
      {"FreshMachineNeverPings", {{Tick{0}}, {Tick{S}}, {Tick{MAX}, PacingMachine{}}}},
      {"FirstPingAfterSixtySecondsThenBackoffFromEachTick",
       {{Edge{true, S}, idle_at(S, S + 60000)},
        {Tick{S + 59999}, idle_at(S, S + 60000)},
        {Tick{S + 60000, 60000}, idle_at(S, S + 180000, 1)},
        {Tick{S + 180700, 180700}, idle_at(S, S + 480700, 2)},
        {Tick{S + 480700, 480700}, idle_at(S, S + 1380700, 3)},
        {Tick{S + 1380701, 1380701}, idle_at(S, S + 2280701, 3)},
        {Tick{S + 2280700}, idle_at(S, S + 2280701, 3)}}},
      {"EndpointAlreadyIdleAtStartPingsAtOnce",
       {{Edge{true, S}}, {Tick{S + 500000, 500000}, idle_at(S, S + 620000, 1)}}},
      {"RepeatedOrOlderIdleEdgeChangesNothing",
       {{Edge{true, S}},
        {Tick{S + 60000, 60000}},
        {Edge{true, S}, idle_at(S, S + 180000, 1)},
        {Edge{true, S - 1}, idle_at(S, S + 180000, 1)}}},
      {"LaterIdleEdgeWhilePausedStartsAFreshStretch",
       {{Edge{true, S}},
        {Tick{S + 60000, 60000}},
        {Pause{std::nullopt, S + 70000}, paused_idle_at(S, 1)},
        {Tick{S + 900000}},
        {Edge{true, S + 200000}, idle_at(S + 200000, S + 260000)}}},
      {"BusyEdgeReportsTheIdleStretch",
       {{Edge{true, S}},
        {Tick{S + 60000, 60000}},
        {Edge{false, S + 90000, 90000}, PacingMachine{}},
        {Edge{false, S + 100000}, PacingMachine{}}}},
      {"BusyEdgeBeforeTheIdleStartResetsWithoutALength",
       {{Edge{true, S}}, {Tick{S + 60000, 60000}}, {Edge{false, S - 5}, PacingMachine{}}}},
      {"PauseWhileIdleHoldsUntilTheNextBusyEdge",
       {{Edge{true, S}},
        {Pause{std::nullopt, S + 10000}, paused_idle_at(S)},
        {Tick{S + 60000}},
        {Tick{S + 5000000}},
        {Edge{false, S + 100000, 100000}, PacingMachine{}},
        {Edge{true, S + 200000}, idle_at(S + 200000, S + 260000)}}},
      {"PauseWhileBusyKeepsTheNextIdleStretchSilent",
       {{Pause{std::nullopt, S}},
        {Edge{true, S + 1000}, paused_idle_at(S + 1000)},
        {Tick{S + 5000000}},
        {Edge{false, S + 61000, 60000}, PacingMachine{}}}},
      {"DelayWhileBusyIsHeldForTheNextIdleEdge",
       {{Pause{5, S - 10}, busy_holding(5)},
        {Pause{10, S - 5}, busy_holding(10)},
        {Pause{5, S - 1}, busy_holding(5)},
        {Edge{true, S}, idle_at(S, S + 300000, 0, true)},
        {Tick{S + 299999}},
        {Tick{S + 300000, 300000}, idle_at(S, S + 360000)},
        {Tick{S + 360000, 360000}, idle_at(S, S + 480000, 1)}}},
      {"HeldDelayIsUsedOnlyOnce",
       {{Pause{5, S - 10}},
        {Edge{true, S}},
        {Edge{false, S + 1000, 1000}},
        {Edge{true, S + 2000}, idle_at(S + 2000, S + 62000)}}},
      {"PauseDiscardsAHeldDelay",
       {{Pause{5, S}}, {Pause{std::nullopt, S}, PacingMachine{.latch = Latch::Lowered}}}},
      {"DelayShorterThanTheTimeIdleMakesThePingDue",
       {{Edge{true, S}},
        {Tick{S + 60000, 60000}},
        {Pause{5, S + 600000}, idle_at(S, S + 300000, 1, true)},
        {Tick{S + 600000, 600000}, idle_at(S, S + 660000)}}},
      {"DelayMinutesAreClamped",
       {{Pause{0, S}, busy_holding(1)},
        {Pause{121, S}, busy_holding(120)},
        {Edge{true, S}},
        {Pause{0, S + 1000}, idle_at(S, S + 60000, 0, true)},
        {Pause{500, S + 1000}, idle_at(S, S + 7200000, 0, true)}}},
      {"DelayWhilePausedRaisesTheLatch",
       {{Edge{true, S}},
        {Pause{std::nullopt, S + 1000}},
        {Codes{{WaitCode{20}}, S + 2000, true}, idle_at(S, S + 1200000, 0, true)}}},
      {"DoneCodeAfterADelayCommandPauses",
       {{Edge{true, S}},
        {Pause{20, S + 1000}},
        {Codes{{DoneCode{}}, S + 1000, false}, paused_idle_at(S)}}},
      {"LastVerdictCodeWins",
       {{Edge{true, S}},
        {Codes{{WaitCode{5}, DoneCode{}}, S + 1000, false}, paused_idle_at(S)},
        {Codes{{DoneCode{}, WaitCode{5}}, S + 2000, true}, idle_at(S, S + 300000, 0, true)}}},
      {"ClassifyCodesAreReturnedInOrderAndLeaveTheMachineAlone",
       {{Edge{true, S}},
        {Codes{{ClassifyCode{{"abc234", 1}, "ci_run"}}, S + 1000, false, {"abc234-1:ci_run"}},
         idle_at(S, S + 60000)},
        {Codes{{ClassifyCode{{"abc234", 1}, "ci_run"}, WaitCode{3},
                ClassifyCode{{"abc234", 2}, "review"}, DoneCode{}},
               S + 2000,
               false,
               {"abc234-1:ci_run", "abc234-2:review"}},
         paused_idle_at(S)}}},
      // A forged `since` near the end of the range must neither wrap nor make a ping due early.
      {"IdleStartNearTheEndOfTheRangeSaturates",
       {{Edge{true, MAX - 30000}, idle_at(MAX - 30000, MAX)},
        {Tick{S}, idle_at(MAX - 30000, MAX)},
        {Pause{120, S}, idle_at(MAX - 30000, MAX, 0, true)},
        {Edge{false, S}, PacingMachine{}}}},
      {"HeldDelayNearTheEndOfTheRangeSaturates",
       {{Pause{120, S}}, {Edge{true, MAX - 5}, idle_at(MAX - 5, MAX, 0, true)}, {Tick{S}}}},
      {"RearmNearTheEndOfTheRangeSaturates",
       {{Edge{true, MAX - 100000}},
        {Tick{MAX - 40000, 60000}, idle_at(MAX - 100000, MAX, 1)},
        {Tick{MAX - 1}},
        {Tick{MAX, 100000}, idle_at(MAX - 100000, MAX, 2)}}},
  };
  return all;
}

class PacingMachineScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(PacingMachineScenario, FollowsEveryStep) {
  PacingMachine machine;
  const std::vector<Step>& steps = GetParam().steps;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i + 1));
    run_step(machine, steps[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, PacingMachineScenario, ::testing::ValuesIn(scenarios()),
                         [](const auto& info) { return info.param.name; });

struct StatusCase {
  std::string name;
  PacingMachine machine;
  std::uint64_t now;
  std::string line;
};

void PrintTo(const StatusCase& status_case, std::ostream* out) { *out << status_case.name; }

const std::vector<StatusCase>& status_cases() {
  static const std::vector<StatusCase> all = {
      {"Fresh", PacingMachine{}, 0,
       "⟳ **kelvo** status — latch raised; endpoint busy; timer off; backoff step 0 of 3 "
       "(re-arms at 60s)."},
      {"IdleRoundsTheNextPingUp", idle_at(S, S + 60000), S + 15500,
       "⟳ **kelvo** status — latch raised; endpoint idle, idle ~15s; timer armed, next ping in "
       "~45s; backoff step 0 of 3 (re-arms at 60s)."},
      {"PingDueBeforeTheTick", idle_at(S, S + 60000), S + 61000,
       "⟳ **kelvo** status — latch raised; endpoint idle, idle ~61s; timer armed, ping due now; "
       "backoff step 0 of 3 (re-arms at 60s)."},
      {"HeldDelay", busy_holding(5), S,
       "⟳ **kelvo** status — latch raised; endpoint busy; a delay of 5m is held for the next idle "
       "edge; timer off; backoff step 0 of 3 (re-arms at 60s)."},
      {"TimerSetByADelay", idle_at(S, S + 300000, 2, true), S + 120000,
       "⟳ **kelvo** status — latch raised; endpoint idle, idle ~120s; timer armed, next ping in "
       "~180s; backoff step 2 of 3 (re-arms at 300s, superseded by a delay)."},
      {"PausedWhileIdle", paused_idle_at(S, 1), S + 300000,
       "⟳ **kelvo** status — latch lowered (paused); endpoint idle, idle ~300s; timer off; "
       "backoff step 1 of 3 (re-arms at 120s)."},
      {"HostClockAhead", idle_at(S, S + 60000, 3), S - 1000,
       "⟳ **kelvo** status — latch raised; endpoint idle; timer armed, next ping in ~61s; backoff "
       "step 3 of 3 (re-arms at 900s)."},
      {"ExactlyOneSecondToGo", idle_at(S, S + 60000), S + 59000,
       "⟳ **kelvo** status — latch raised; endpoint idle, idle ~59s; timer armed, next ping in "
       "~1s; backoff step 0 of 3 (re-arms at 60s)."},
      {"JustOverOneSecondToGo", idle_at(S, S + 60000), S + 58999,
       "⟳ **kelvo** status — latch raised; endpoint idle, idle ~58s; timer armed, next ping in "
       "~2s; backoff step 0 of 3 (re-arms at 60s)."},
      {"TimerAtTheEndOfTheRange", idle_at(MAX - 30000, MAX), 0,
       "⟳ **kelvo** status — latch raised; endpoint idle; timer armed, next ping in "
       "~18446744073709552s; backoff step 0 of 3 (re-arms at 60s)."},
  };
  return all;
}

class PacingMachineStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(PacingMachineStatus, WritesTheLine) {
  EXPECT_EQ(status(GetParam().machine, at_epoch_ms(GetParam().now)), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Lines, PacingMachineStatus, ::testing::ValuesIn(status_cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kelvo
