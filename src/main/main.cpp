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

int main(int argc, char** argv) {
  kelvo::ignore_sigpipe();
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
