// The resting cost of the loop: the shell's own CPU time per cycle of the real run_cycle, with a
// host that answers in-process (no child processes) and a clock that never sleeps. The endpoint
// stays busy, so the cycles poll, read the lines, follow activity and judge the nudge.
#include <benchmark/benchmark.h>

#include "canned_host.hpp"
#include "main/cycle.hpp"
#include "main/run_setup.hpp"

namespace kelvo::bench {
namespace {

void cycles_with_poll(benchmark::State& state, std::size_t frames) {
  CannedHost host;
  SteppingClock clock;
  host.poll_out = agent_output_poll(frames);
  host.activity_out = busy_since(epoch_ms(clock.now_at) - 1000);
  NoServiceManager service;
  NoEventHook events;
  LoopEffects effects{host, clock, service, events};
  ShellContext context = set_up_run(bench_settings(), effects);
  for (auto _ : state) {
    if (run_cycle(context, effects, clock.now()) != CycleEnd::Continue) {
      state.SkipWithError("the cycle ended the run");
      break;
    }
    clock.sleep_between_cycles();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["frames_read"] = static_cast<double>(context.counters.frames);
}

void BM_CycleEmptyPoll(benchmark::State& state) { cycles_with_poll(state, 0); }
void BM_CyclePoll100Frames(benchmark::State& state) { cycles_with_poll(state, 100); }

BENCHMARK(BM_CycleEmptyPoll)->MeasureProcessCPUTime();
BENCHMARK(BM_CyclePoll100Frames)->MeasureProcessCPUTime();

}  // namespace
}  // namespace kelvo::bench
