#include <malloc.h>

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "common/console.hpp"
#include "main/host_runner.hpp"
#include "main/loop_clock.hpp"
#include "main/run_loop.hpp"
#include "main/startup.hpp"
#include "main/subprocess.hpp"

namespace {

// A host call can print tens of MiB. glibc raises its mmap threshold each time such a buffer is
// freed, after which buffers of that size come from the heap and keep it grown for the rest of the
// run; a fixed threshold keeps every large buffer mapped on its own and returned when freed.
void return_large_buffers_when_freed() { ::mallopt(M_MMAP_THRESHOLD, 128 * 1024); }

}  // namespace

int main(int argc, char** argv) {
  kelvo::ignore_sigpipe();
  return_large_buffers_when_freed();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  auto started =
      kelvo::start_up(args, kelvo::read_startup_environment(), [](const std::string& host_program) {
        return std::make_unique<kelvo::ProcessHostRunner>(host_program);
      });
  if (const auto* stop = std::get_if<kelvo::StartupStop>(&started)) {
    kelvo::report(stop->message);
    return stop->exit_code;
  }
  const auto& settings = std::get<kelvo::StartupSettings>(started);
  kelvo::ProcessHostRunner host(settings.host_program);
  kelvo::SystemClock clock;
  kelvo::LoopEffects effects{host, clock};
  return kelvo::run_loop(settings, effects);
}
