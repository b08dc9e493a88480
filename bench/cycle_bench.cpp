// The resting cost of the loop: the shell's own CPU time per cycle of the real run_cycle, with a
// host that answers in-process (no child processes) and a clock that never sleeps. The endpoint
// stays busy, so the cycles poll, read the lines, follow activity and judge the nudge. With a
// runtime folder each cycle also judges the runtime status file, as the loop does after a cycle:
// at rest it is written once a minute (every 120 cycles). With a state folder each cycle also
// keeps the session file, as the loop does: at rest it is never written.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "canned_host.hpp"
#include "main/cycle.hpp"
#include "main/run_setup.hpp"
#include "main/runtime_file.hpp"
#include "main/session_keeper.hpp"

namespace kelvo::bench {
namespace {

void cycles_with_poll(benchmark::State& state, std::size_t frames, bool runtime_dir = false,
                      bool state_dir = false) {
  CannedHost host;
  SteppingClock clock;
  host.poll_out = agent_output_poll(frames);
  host.activity_out = busy_since(epoch_ms(clock.now_at) - 1000);
  NoServiceManager service;
  NoEventHook events;
  NoStopSignal stop;
  LoopEffects effects{host, clock, service, events, stop};
  std::string folder = "/tmp/kelvo-bench-files-XXXXXX";
  if ((runtime_dir || state_dir) && ::mkdtemp(folder.data()) == nullptr) {
    state.SkipWithError("no folder for the files");
    return;
  }
  StartupSettings settings = bench_settings();
  if (state_dir) settings.state_dir = folder;
  StartedRun set_up = set_up_run(settings, effects);
  const Run& run = set_up.run;
  ShellState& shell = set_up.state;
  std::optional<RuntimeFile> runtime;
  if (runtime_dir) runtime.emplace(folder, kOwner, false);
  SessionKeeper sessions(run, std::nullopt);
  for (auto _ : state) {
    if (run_cycle(run, shell, effects, clock.now()) != CycleEnd::Continue) {
      state.SkipWithError("the cycle ended the run");
      break;
    }
    if ((runtime && runtime->update(run.settings, shell, clock.now())) ||
        sessions.keep(shell.session, clock.now())) {
      state.SkipWithError("a file could not be written");
      break;
    }
    clock.sleep_between_cycles();
  }
  if (runtime_dir || state_dir) std::filesystem::remove_all(folder);
  state.SetItemsProcessed(state.iterations());
  state.counters["frames_read"] = static_cast<double>(shell.counters.frames);
}

void BM_CycleEmptyPoll(benchmark::State& state) { cycles_with_poll(state, 0); }
void BM_CyclePoll100Frames(benchmark::State& state) { cycles_with_poll(state, 100); }
void BM_CycleEmptyPollWithRuntimeFile(benchmark::State& state) { cycles_with_poll(state, 0, true); }
void BM_CycleEmptyPollWithRuntimeFileAndSession(benchmark::State& state) {
  cycles_with_poll(state, 0, true, true);
}

BENCHMARK(BM_CycleEmptyPoll)->MeasureProcessCPUTime();
BENCHMARK(BM_CyclePoll100Frames)->MeasureProcessCPUTime();
BENCHMARK(BM_CycleEmptyPollWithRuntimeFile)->MeasureProcessCPUTime();
BENCHMARK(BM_CycleEmptyPollWithRuntimeFileAndSession)->MeasureProcessCPUTime();

}  // namespace
}  // namespace kelvo::bench
