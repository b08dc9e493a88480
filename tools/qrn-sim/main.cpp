#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/clock.hpp"
#include "common/files.hpp"
#include "qrn-sim/cli.hpp"
#include "qrn-sim/process_mark.hpp"
#include "qrn-sim/store.hpp"
#include "qrn-sim/token.hpp"

namespace {

// A reader that went away leaves nothing to do about the rest of the text.
void write_fd(int fd, std::string_view text) { static_cast<void>(kelvo::write_all(fd, text)); }

std::filesystem::path home_folder() {
  const char* home = std::getenv("QRN_SIM_HOME");
  if (home != nullptr && *home != '\0') return home;
  return ".qrn-sim";
}

std::filesystem::path poll_log_dir() {
  const char* dir = std::getenv("QRN_SIM_POLL_LOG");
  return dir != nullptr ? dir : "";
}

}  // namespace

int main(int argc, char** argv) {
  kelvo::sim::SimEnv env{
      .home = home_folder(),
      .now_ms = [] { return kelvo::epoch_ms(kelvo::wall_now()); },
      .read_input = [] { return kelvo::sim::read_all(STDIN_FILENO); },
      .write_out = [](std::string_view text) { write_fd(STDOUT_FILENO, text); },
      .write_err = [](std::string_view text) { write_fd(STDERR_FILENO, text); },
      .new_token = kelvo::sim::random_link_token,
      .keep_following =
          [] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return true;
          },
      .caller = kelvo::sim::calling_process,
      .has_ended = kelvo::sim::process_has_ended,
      .poll_log_dir = poll_log_dir(),
  };
  return kelvo::sim::run_sim(std::vector<std::string>(argv + 1, argv + argc), env);
}
