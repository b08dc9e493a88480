// One host call against a bare spawn of the same trivial program, in wall time: run_host through
// the real ProcessHostRunner (pipes, poll loop, reap, UTF-8 check) against posix_spawn + waitpid.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

#include "main/host_cli.hpp"
#include "main/host_runner.hpp"

extern char** environ;

namespace kelvo::bench {
namespace {

constexpr const char* kTrivialProgram = "/bin/true";

void BM_RunHostTrivial(benchmark::State& state) {
  ProcessHostRunner runner(kTrivialProgram);
  const HostArgs args;
  for (auto _ : state) benchmark::DoNotOptimize(run_host(runner, args));
}

void BM_BareSpawnTrivial(benchmark::State& state) {
  char program[] = "/bin/true";
  char* argv[] = {program, nullptr};
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("posix_spawn failed");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    benchmark::DoNotOptimize(status);
  }
}

BENCHMARK(BM_RunHostTrivial)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_BareSpawnTrivial)->UseRealTime()->MinTime(2.0);

}  // namespace
}  // namespace kelvo::bench
