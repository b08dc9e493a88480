#include "main/cycle.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "common/local_stamp.hpp"
#include "common/text.hpp"
#include "common/version.hpp"
#include "cycle/operator_messages.hpp"
#include "frame/frame_escape.hpp"
#include "frame/frame_mac.hpp"
#include "main/run_loop.hpp"
#include "main/run_setup.hpp"
#include "main/session_keeper.hpp"
#include "qrn-sim/frames.hpp"
#include "state/state_file.hpp"
#include "support/fake_clock.hpp"
#include "support/fake_host_runner.hpp"
#include "support/fake_service_manager.hpp"
#include "support/fake_stop_signal.hpp"
#include "support/link_token.hpp"
#include "support/temp_dir.hpp"

namespace kelvo {
namespace {

constexpr std::uint64_t kStart = 1'800'000'000'000;
using testing::kLink;

// A host whose poll outputs are scripted cycle by cycle; drive-poll and digest print whatever
// is set at the moment they are called.
class ScriptedHost {
 public:
  ScriptedHost() {
    fake.answer = [this](const std::vector<std::string>& args) -> ProcessResult {
      if (args.size() > 3 && args[3] == "poll") return next_poll();
      if (args.size() > 3 && args[3] == "drive-poll") return {Exited{0}, activity, {}};
      if (args.size() > 1 && args[1] == "digest") return {Exited{0}, digest, {}};
      return {Exited{0}, {}, {}};
    };
  }

  // Signs each frame text and queues them as one poll's output.
  void queue_poll(const std::vector<std::string>& frames) {
    std::string out;
    for (const auto& frame : frames) out += *sign_frame(frame, kLink) + "\n";
    polls.push_back({Exited{0}, out, {}});
  }
  void queue_refused_poll() {
    polls.push_back({Exited{1}, {}, "AUTH_REFUSED: no instance holds this link token\n"});
  }

  int count_calls(std::string_view verb) const {
    int n = 0;
    for (const auto& call : fake.calls) {
      for (const auto& arg : call.args) n += arg == verb;
    }
    return n;
  }
  std::vector<testing::FakeHostRunner::Call> sends() const {
    std::vector<testing::FakeHostRunner::Call> out;
    for (const auto& call : fake.calls) {
      if (call.input) out.push_back(call);
    }
    return out;
  }
  std::vector<std::string> sent_texts() const {
    std::vector<std::string> out;
    for (const auto& call : sends()) out.push_back(*call.input);
    return out;
  }

  testing::FakeHostRunner fake;
  std::deque<ProcessResult> polls;
  std::string activity;
  std::string digest;

 private:
  ProcessResult next_poll() {
    if (polls.empty()) return {Exited{0}, {}, {}};
    ProcessResult result = polls.front();
    polls.pop_front();
    return result;
  }
};

std::string io_frame(std::string_view kind, std::string_view text) {
  return "<EVENT type=\"io\" kind=\"" + std::string(kind) + "\">" + escape_body(text) + "</EVENT>";
}

std::string command(std::string_view op, std::string_view body = "{}") {
  return sim::shell_command_frame(op, body);
}

class CycleTest : public ::testing::Test {
 protected:
  void start(std::optional<std::string> owner = "agent-1",
             std::optional<std::string> shell_id = "KELVO-7",
             std::optional<std::filesystem::path> state_dir = std::nullopt) {
    settings = {kLink, std::move(owner), std::move(shell_id), std::move(state_dir)};
    context.emplace(set_up_run(settings, effects));
  }
  CycleEnd cycle() {
    const CycleEnd end = run_cycle(context->run, context->state, effects, clock.now());
    clock.sleep_between_cycles();
    return end;
  }
  void set_activity(bool idle, std::uint64_t since) {
    host.activity = sim::activity_frame(idle, since) + "\n";
  }
  std::string last_sent() const { return host.sent_texts().back(); }

  ScriptedHost host;
  testing::FakeClock clock{kStart};
  testing::FakeServiceManager service;
  NoEventHook events;
  testing::FakeStopSignal stop;
  LoopEffects effects{host.fake, clock, service, events, stop};
  StartupSettings settings;
  std::optional<StartedRun> context;
};

TEST_F(CycleTest, SetUpSendsTheIntroFromTheShellId) {
  start();
  const auto sends = host.sends();
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0].args,
            (std::vector<std::string>{"send", "--active-only", "--from", "KELVO-7", "agent-1"}));
  EXPECT_EQ(*sends[0].input, intro_message("KELVO-7"));
  EXPECT_EQ(context->state.session.board.checkpoints.front().marked_at, at_epoch_ms(kStart));
}

TEST_F(CycleTest, TheThirdRefusedPollInARowSupersedes) {
  start();
  for (int i = 0; i < 2; ++i) host.queue_refused_poll();
  host.queue_poll({});
  for (int i = 0; i < 3; ++i) host.queue_refused_poll();
  ::testing::internal::CaptureStderr();
  std::vector<CycleEnd> ends;
  for (int i = 0; i < 6; ++i) ends.push_back(cycle());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "kelvo-shell: link no longer held by KELVO-7 \xE2\x80\x94 superseded, exiting\n");
  std::vector<CycleEnd> expected(5, CycleEnd::Continue);
  expected.push_back(CycleEnd::Ended);
  EXPECT_EQ(ends, expected);
  // The superseding cycle stops at the poll: no drive-poll after it.
  EXPECT_EQ(host.count_calls("drive-poll"), 5);
}

TEST_F(CycleTest, AFailedPollWithoutARefusalLineEndsTheStreak) {
  start();
  host.queue_refused_poll();
  host.queue_refused_poll();
  host.polls.push_back({Exited{1}, {}, "DRIVE_POLL_REFUSED: busy\n"});
  for (int i = 0; i < 3; ++i) host.queue_refused_poll();
  ::testing::internal::CaptureStderr();
  std::vector<CycleEnd> ends;
  for (int i = 0; i < 6; ++i) ends.push_back(cycle());
  ::testing::internal::GetCapturedStderr();
  std::vector<CycleEnd> expected(5, CycleEnd::Continue);
  expected.push_back(CycleEnd::Ended);
  EXPECT_EQ(ends, expected);
}

TEST_F(CycleTest, RunLoopEndsWithExitCodeZeroWhenSuperseded) {
  for (int i = 0; i < 3; ++i) host.queue_refused_poll();
  set_activity(false, kStart - 5000);
  settings = {kLink, "agent-1", "KELVO-7", std::nullopt};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(run_loop(settings, effects), 0);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(clock.now_at, at_epoch_ms(kStart + 1000));  // slept between cycles 1-2 and 2-3 only

  // The service manager: ready with the first status, a watchdog from each finished cycle and
  // the status only when it changed, then stopping.
  ASSERT_EQ(service.sent.size(), 4u);
  const std::string ready = service.sent[0];
  EXPECT_TRUE(
      ready.starts_with("READY=1\nSTATUS=agent-1: busy (no report yet); no nudge while "
                        "busy; board "))
      << ready;
  EXPECT_TRUE(ready.ends_with(" :0; 0 classes; host calls ok")) << ready;
  EXPECT_EQ(
      service.sent[1],
      "WATCHDOG=1\n" + replace_all(ready.substr(8), "busy (no report yet)",
                                   "busy since " + local_time_of_day(at_epoch_ms(kStart - 5000))));
  EXPECT_EQ(service.sent[2], "WATCHDOG=1");
  EXPECT_EQ(service.sent[3], "STOPPING=1");
}

TEST_F(CycleTest, BoundariesReintroduceOncePerCycleAndForgedOnesAreCounted) {
  start();
  host.queue_poll({sim::boundary_frame("compact"), sim::boundary_frame("clear")});
  cycle();
  EXPECT_EQ(host.sent_texts(),
            (std::vector<std::string>{intro_message("KELVO-7"), intro_message("KELVO-7")}));
  EXPECT_EQ(context->state.counters.boundaries, 2u);

  // A boundary signed with another link's key is refused and re-introduces nothing.
  host.polls.push_back(
      {Exited{0}, *sign_frame(sim::boundary_frame("compact"), "other-link") + "\n", {}});
  cycle();
  EXPECT_EQ(host.sends().size(), 2u);
  EXPECT_EQ(context->state.counters.refused, 1u);
  EXPECT_EQ(context->state.counters.boundaries, 2u);
}

TEST_F(CycleTest, OnlyAgentOutputIsScannedForCodes) {
  start();
  host.queue_poll({io_frame("agent_output", "!!done!!"), io_frame("TOOL", "!!done!!")});
  cycle();
  EXPECT_EQ(context->state.counters.frames, 2u);
  EXPECT_EQ(context->state.counters.agent_outputs, 0u);
  EXPECT_EQ(context->state.counters.codes, 0u);
  EXPECT_EQ(context->state.session.machine.latch, Latch::Raised);
  EXPECT_EQ(context->state.counters.kinds,
            (std::map<std::string, std::uint64_t>{{"TOOL", 1}, {"agent_output", 1}}));
}

TEST_F(CycleTest, TruncatedOutputIsFollowedUpInTheDigest) {
  start();
  host.digest = R"({"turns":[{"entries":[{"Agent":{"text":"full !!done!!","seq":7}}]}]})";
  host.queue_poll({sim::agent_output_frame("part", 7, true), sim::agent_output_frame("x", 8, true),
                   "<EVENT type=\"io\" kind=\"AGENT_OUTPUT\" truncated=\"1\">blind "
                   "!!wait=5!!</EVENT>"});
  cycle();
  const RunCounters& c = context->state.counters;
  EXPECT_EQ(c.truncated_followed, 2u);
  EXPECT_EQ(c.truncated_blind, 1u);
  EXPECT_EQ(c.pointers_missed, 1u);
  // The blind wait came first, the digest's done after it: the done wins.
  EXPECT_EQ(c.codes, 2u);
  EXPECT_EQ(context->state.session.machine.latch, Latch::Lowered);
  EXPECT_EQ(host.count_calls("digest"), 1);

  host.digest = "not json";
  host.queue_poll({sim::agent_output_frame("part", 9, true)});
  cycle();
  EXPECT_EQ(context->state.counters.pointers_missed,
            1u);  // a digest that doesn't decode counts none
}

TEST_F(CycleTest, CommandsActBeforeTheCyclesCodes) {
  start();
  set_activity(true, kStart);
  cycle();
  // delay, then a done in the same cycle: the done is applied last, so the shell ends paused.
  host.queue_poll({command("delay", R"({"minutes":30})"), io_frame("AGENT_OUTPUT", "!!done!!")});
  cycle();
  EXPECT_EQ(context->state.session.machine.latch, Latch::Lowered);
  EXPECT_EQ(context->state.session.machine.timer, std::nullopt);
  EXPECT_EQ(context->state.session.board.checkpoints.back().sub,
            1u);  // the delay marked a checkpoint

  // pause, then a wait: the delay is in force.
  host.queue_poll({command("pause"), io_frame("AGENT_OUTPUT", "!!wait=20!!")});
  cycle();
  EXPECT_EQ(context->state.session.machine.latch, Latch::Raised);
  EXPECT_EQ(context->state.session.machine.timer, at_epoch_ms(kStart + 20 * 60000));
  EXPECT_TRUE(context->state.session.machine.delay_armed);
  EXPECT_EQ(context->state.session.board.checkpoints.back().sub, 2u);
  EXPECT_EQ(host.sends().size(), 1u);  // delay and pause send no reply
}

TEST_F(CycleTest, ClassifyThenWaitMarksTheFreshBoard) {
  testing::TempDir dir;
  start("agent-1", "KELVO-7", dir.path());
  set_activity(true, kStart);
  host.queue_poll({io_frame("AGENT_OUTPUT", "!!wait=20!!")});
  cycle();
  set_activity(false, kStart + 25 * 60000);
  cycle();  // a 25-minute quiet stretch ends: the board is shown
  EXPECT_TRUE(last_sent().starts_with("\xE2\x9F\xB3 **kelvo** stretch board `" +
                                      context->state.session.board.id + "`"));
  const std::string old_id = context->state.session.board.id;
  host.queue_poll({io_frame("AGENT_OUTPUT", "!!classify=" + old_id + "-1:ci_run!! !!wait=5!!")});
  cycle();
  EXPECT_NE(context->state.session.board.id, old_id);
  ASSERT_EQ(context->state.session.board.checkpoints.size(), 2u);
  EXPECT_EQ(context->state.session.board.checkpoints.back().sub, 1u);
  const auto& stat = context->state.owner_state.registry.at("ci_run");
  EXPECT_EQ(stat.count, 1u);
  EXPECT_EQ(stat.mean_secs, 25 * 60.0);  // marked at kStart, resumed 25 minutes later
  EXPECT_EQ(*load_state(*context->run.settings.state_path), context->state.owner_state);
}

TEST_F(CycleTest, WithoutAnOwnerNothingIsSentButCommandsStillAct) {
  start(std::nullopt);
  set_activity(true, kStart - 120000);
  host.queue_poll({command("delay", R"({"minutes":3})"), command("status"), command("bogus"),
                   sim::agent_output_frame("part", 1, true)});
  cycle();
  set_activity(false, kStart + 1000);
  cycle();
  EXPECT_TRUE(host.sends().empty());
  EXPECT_EQ(host.count_calls("digest"), 0);
  EXPECT_EQ(context->state.session.board.checkpoints.back().sub, 1u);
  EXPECT_EQ(context->state.session.board.last_resume,
            std::nullopt);  // no board shown, no resume recorded
}

TEST_F(CycleTest, WithoutAShellIdNothingIsPolledButTheMachineTicks) {
  start("agent-1", std::nullopt);
  context->state.session.machine.activity = Activity::Idle;
  context->state.session.machine.idle_since = at_epoch_ms(kStart - 60000);
  context->state.session.machine.timer = at_epoch_ms(kStart);
  cycle();
  EXPECT_EQ(host.count_calls("poll"), 0);
  EXPECT_EQ(host.count_calls("drive-poll"), 0);
  EXPECT_FALSE(context->run.settings.shell_id);
  ASSERT_EQ(host.sends().size(), 2u);  // intro, then the nudge from tick
  EXPECT_EQ(host.sends()[1].args,
            (std::vector<std::string>{"send", "--idle-only", "--ephemeral", "agent-1"}));
  EXPECT_EQ(last_sent(), nudge_message(Millis(60000), local_stamp_at(at_epoch_ms(kStart))));
}

TEST_F(CycleTest, TheBoardShowsAfterExactlySixtySecondsIdle) {
  for (const std::uint64_t idle_ms : {std::uint64_t{60000}, std::uint64_t{59999}}) {
    host.fake.calls.clear();
    start();
    set_activity(true, kStart);
    cycle();
    set_activity(false, kStart + idle_ms);
    cycle();
    const bool shown = idle_ms >= 60000;
    EXPECT_EQ(host.sends().size(), shown ? 2u : 1u) << idle_ms;
    EXPECT_EQ(context->state.session.board.last_resume,
              shown ? std::optional<WallTime>(at_epoch_ms(kStart + idle_ms)) : std::nullopt);
  }
}

TEST_F(CycleTest, MessagesGoFromTheShellIdWithTheirFlags) {
  start();
  set_activity(true, kStart - 60000);
  cycle();  // idle for a minute already: the nudge is due at once
  host.queue_poll({sim::boundary_frame("compact")});
  set_activity(false, kStart + 1000);
  cycle();  // a re-intro, then the board for the 61 s quiet stretch
  const auto sends = host.sends();
  ASSERT_EQ(sends.size(), 4u);
  const std::vector<std::string> active{"send", "--active-only", "--from", "KELVO-7", "agent-1"};
  EXPECT_EQ(sends[1].args, (std::vector<std::string>{"send", "--idle-only", "--ephemeral", "--from",
                                                     "KELVO-7", "agent-1"}));
  EXPECT_EQ(*sends[1].input, nudge_message(Millis(60000), local_stamp_at(at_epoch_ms(kStart))));
  EXPECT_EQ(sends[2].args, active);
  EXPECT_EQ(*sends[2].input, intro_message("KELVO-7"));
  EXPECT_EQ(sends[3].args, active);
  EXPECT_TRUE(sends[3].input->find("`qrn shell cmd KELVO-7 classify ") != std::string::npos);
}

TEST_F(CycleTest, TheBoardNamesTheStateFileOrItsPattern) {
  testing::TempDir dir;
  struct Case {
    std::optional<std::filesystem::path> state_dir;
    std::string path_text;
  };
  const std::vector<Case> cases = {
      {dir.path(), (dir.path() / "state" / "agent-1.json").string()},
      {std::nullopt, "state/<owner>.json"},
  };
  for (const Case& c : cases) {
    start("agent-1", "KELVO-7", c.state_dir);
    // More classes than the board lists, so it points at the file for the rest.
    for (int i = 0; i < 16; ++i)
      context->state.owner_state.registry["class_" + std::to_string(i)] = {};
    set_activity(true, kStart);
    cycle();
    set_activity(false, kStart + 120000);
    cycle();
    EXPECT_TRUE(last_sent().ends_with(" (+1 more in `" + c.path_text + "`).")) << c.path_text;
  }
}

TEST_F(CycleTest, OnlyAChangedRegistryIsSaved) {
  testing::TempDir dir;
  start("agent-1", "KELVO-7", dir.path());
  const std::filesystem::path file = *context->run.settings.state_path;
  set_activity(true, kStart);
  cycle();
  // Commands and codes that leave the registry alone write nothing, nor does the board.
  const std::string id = context->state.session.board.id;
  host.queue_poll({command("status"), command("pause"), command("delay", R"({"minutes":3})"),
                   command("retire", R"({"names":"x"})"),
                   command("classify", R"({"id":")" + id + R"(-0","name":"ci_run"})"),
                   io_frame("AGENT_OUTPUT", "!!classify=" + id + "-9:ci_run!! !!wait=5!!")});
  cycle();
  set_activity(false, kStart + 25 * 60000);
  cycle();
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(context->state.session.board.id, id);

  // The operator's classify of a shown checkpoint saves, and gets no reply.
  const std::size_t sent = host.sends().size();
  host.queue_poll({command("classify", R"({"id":")" + id + R"(-0","name":"ci_run"})")});
  cycle();
  EXPECT_EQ(host.sends().size(), sent);
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(load_state(file)->registry.at("ci_run").count, 1u);
}

TEST_F(CycleTest, StatusBeforeAnyFrameEndsWithTheZeroSummary) {
  start();
  host.queue_poll({command("status")});
  cycle();
  EXPECT_TRUE(last_sent().starts_with("\xE2\x9F\xB3 **kelvo** status \xE2\x80\x94 latch raised"));
  EXPECT_TRUE(
      last_sent().ends_with(" \xE2\x80\x94 kelvo v" KELVO_VERSION
                            "\nio: 0 frame(s), 0 AGENT_OUTPUT, 0 code(s); truncated 0 "
                            "followed / 0 blind, 0 pointer(s) missed; 0 boundary(ies), 0 refused"));
}

TEST_F(CycleTest, OperatorRepliesAndSaves) {
  testing::TempDir dir;
  start("agent-1", "KELVO-7", dir.path());
  context->state.owner_state.registry["ci_run"] = {2, 300.0, 1};
  host.queue_poll({command("retire", R"({"names":"nope ci_run"})"),
                   command("retire", R"({"names":"x"})"),
                   command("classify", R"({"id":"zz-1","name":"ci_run"})"), command("extend")});
  cycle();
  const auto texts = host.sent_texts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[1],
            "\xE2\x9F\xB3 **kelvo** retired ci_run (~5m \xC3\x97"
            "2); no class named nope");
  EXPECT_EQ(texts[2], "\xE2\x9F\xB3 **kelvo** refused retire: no class named x");
  EXPECT_EQ(texts[3],
            "\xE2\x9F\xB3 **kelvo** refused classify: no live board `zz` \xE2\x80\x94 "
            "the live board is `" +
                context->state.session.board.id + "`");
  EXPECT_TRUE(texts[4].starts_with("\xE2\x9F\xB3 **kelvo** refused extend: "));
  EXPECT_EQ(load_state(*context->run.settings.state_path)->registry.size(),
            0u);  // the retire was saved
}

// The end-to-end restarts cover the other situations; this one needs minutes of idling.
TEST_F(CycleTest, ARunStartedFromTheSessionFileKeepsTheBackoffAndSendsNoIntro) {
  testing::TempDir dir;
  start("agent-1", "KELVO-7", dir.path());
  set_activity(true, kStart);
  while (host.sends().size() < 3) ASSERT_EQ(cycle(), CycleEnd::Continue);  // 60 and 180 s in
  EXPECT_EQ(context->state.session.machine.backoff_step, 2u);
  ASSERT_FALSE(SessionKeeper(context->run, std::nullopt).keep(context->state.session, clock.now()));
  const Session kept = context->state.session;

  start("agent-1", "KELVO-7", dir.path());
  EXPECT_EQ(host.sends().size(), 3u);  // no intro: the agent knows KELVO-7 already
  EXPECT_EQ(context->state.session, kept);
  while (clock.now() < at_epoch_ms(kStart + 480'000)) ASSERT_EQ(cycle(), CycleEnd::Continue);
  EXPECT_EQ(host.sends().size(), 3u);
  cycle();
  EXPECT_EQ(host.sends().size(), 4u);  // 5 minutes after the second
}

TEST_F(CycleTest, ThousandsOfCyclesKeepPacing) {
  start();
  set_activity(true, kStart);
  for (int i = 0; i < 8000; ++i) ASSERT_EQ(cycle(), CycleEnd::Continue);
  // 4000 s idle: pings at 60, 180, 480, 1380, 2280 and 3180 s.
  EXPECT_EQ(host.sends().size(), 7u);
  EXPECT_EQ(context->state.session.machine.backoff_step, 3u);
}

}  // namespace
}  // namespace kelvo
