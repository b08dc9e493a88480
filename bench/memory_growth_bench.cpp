// Memory growth of the real run_cycle over 1,000,000 cycles after a warm-up of 100,000: resident
// size (VmRSS) and bytes in use on the heap (mallinfo2) before and after. The cycles play a
// working endpoint: agent output every 10th cycle (a wait code every 1,000th), a status command
// every 1,000th, and the endpoint turning idle and busy every 500 (a quiet stretch of 250 s,
// so nudges and a board each time).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "canned_host.hpp"
#include "frame/frame_mac.hpp"
#include "main/cycle.hpp"
#include "main/run_setup.hpp"
#include "qrn-sim/frames.hpp"

namespace kelvo::bench {
namespace {

constexpr std::uint64_t kWarmUpCycles = 100'000;
constexpr std::uint64_t kMeasuredCycles = 1'000'000;

std::uint64_t resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == "VmRSS:") {
      std::uint64_t kib = 0;
      status >> kib;
      return kib;
    }
  }
  return 0;
}

std::string signed_line(const std::string& frame) { return *sign_frame(frame, kLink) + "\n"; }

class Workload {
 public:
  Workload()
      : plain_(signed_line(
            sim::agent_output_frame("Still on the migration, table 4 of 9.", 1, false))),
        wait_(signed_line(sim::agent_output_frame("CI is running. !!wait=5!!", 2, false))),
        status_(signed_line(sim::shell_command_frame("status", "{}"))) {}

  // Sets what the host answers in cycle `n`, at time `now`.
  void prepare(std::uint64_t n, std::uint64_t now, CannedHost& host) const {
    if (n % 1000 == 0) {
      host.poll_out = status_;
    } else if (n % 1000 == 10) {
      host.poll_out = wait_;
    } else if (n % 10 == 0) {
      host.poll_out = plain_;
    } else {
      host.poll_out.clear();
    }
    if (n % 500 == 0) host.activity_out = sim::activity_frame((n / 500) % 2 == 1, now) + "\n";
  }

 private:
  std::string plain_, wait_, status_;
};

void BM_MemoryGrowthMillionCycles(benchmark::State& state) {
  for (auto _ : state) {
    CannedHost host;
    SteppingClock clock;
    NoServiceManager service;
    NoEventHook events;
    NoStopSignal stop;
    LoopEffects effects{host, clock, service, events, stop};
    StartedRun set_up = set_up_run(bench_settings(), effects);
    const Workload workload;
    std::uint64_t n = 0;
    const auto run = [&](std::uint64_t cycles) {
      for (const std::uint64_t end = n + cycles; n < end; ++n) {
        workload.prepare(n, epoch_ms(clock.now_at), host);
        run_cycle(set_up.run, set_up.state, effects, clock.now());
        clock.sleep_between_cycles();
      }
    };
    run(kWarmUpCycles);
    const std::uint64_t rss_before = resident_kib();
    const std::size_t heap_before = mallinfo2().uordblks;
    run(kMeasuredCycles);
    const std::uint64_t rss_after = resident_kib();
    const std::size_t heap_after = mallinfo2().uordblks;
    state.counters["rss_before_KiB"] = static_cast<double>(rss_before);
    state.counters["rss_growth_KiB"] =
        static_cast<double>(rss_after) - static_cast<double>(rss_before);
    state.counters["heap_growth_B"] =
        static_cast<double>(heap_after) - static_cast<double>(heap_before);
    state.counters["sends"] = static_cast<double>(host.sends);
  }
}

BENCHMARK(BM_MemoryGrowthMillionCycles)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace kelvo::bench
