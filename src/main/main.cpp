#include <malloc.h>
#include <unistd.h>

#include <string>
#include <variant>
#include <vector>

#include "common/console.hpp"
#include "common/files.hpp"
#include "main/event_hook.hpp"
#include "main/host_runner.hpp"
#include "main/loop_clock.hpp"
#include "main/loop_effects.hpp"
#include "main/run_loop.hpp"
#include "main/service_manager.hpp"
#include "main/startup.hpp"
#include "main/stop_signal.hpp"
#include "process/subprocess.hpp"

namespace {

// A host call can print tens of MiB. glibc raises its mmap threshold each time such a buffer is
// freed, after which buffers of that size come from the heap and keep it grown for the rest of the
// run; a fixed threshold keeps every large buffer mapped on its own and returned when freed.
void return_large_buffers_when_freed() { ::mallopt(M_MMAP_THRESHOLD, 128 * 1024); }

int stop_with(const kelvo::StartupStop& stop) {
  if (stop.answer) {
    static_cast<void>(kelvo::write_all(STDOUT_FILENO, stop.message));
  } else {
    kelvo::report(kelvo::Urgency::Error, stop.message);
  }
  return stop.exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  kelvo::ignore_sigpipe();
  return_large_buffers_when_freed();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto command_line = kelvo::read_command_line(args, kelvo::read_startup_variables(),
                                                     kelvo::read_whole_file_with_mode);
  if (const auto* stop = std::get_if<kelvo::StartupStop>(&command_line)) return stop_with(*stop);
  const auto& line = std::get<kelvo::CommandLine>(command_line);
  if (line.notice) kelvo::report(line.notice->urgency, line.notice->text);
  // From here on SIGTERM and SIGINT stop the shell cleanly, ending a host call under way: the
  // bind too, which then ends the run before it began.
  kelvo::ProcessStopSignal stop;
  kelvo::ProcessHostRunner host(line.host_program);
  host.cancel_on(stop.wake_fd());
  const auto settled = kelvo::bind_and_settle(line, host, kelvo::current_directory);
  if (const auto signal = stop.requested()) {
    kelvo::report(kelvo::Urgency::Notice, "stopped by " + *signal + ", exiting");
    return 0;
  }
  if (const auto* stop_line = std::get_if<kelvo::StartupStop>(&settled)) {
    return stop_with(*stop_line);
  }
  kelvo::SystemClock clock(stop.wake_fd());
  kelvo::SystemdServiceManager service_manager;
  const auto& settings = std::get<kelvo::StartupSettings>(settled);
  const auto events = kelvo::make_event_hook(settings.on_event);
  kelvo::LoopEffects effects{host,    clock, service_manager,
                             *events, stop,  static_cast<std::uint32_t>(::getpid())};
  return kelvo::run_loop(settings, effects);
}
