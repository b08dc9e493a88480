#include "main/stop_signal.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace kelvo {

namespace {

volatile sig_atomic_t caught_signal = 0;
int wake_pipe[2] = {-1, -1};

extern "C" void note_stop(int signal) {
  const int saved = errno;
  if (caught_signal == 0) caught_signal = signal;
  const char byte = 1;
  // Non-blocking: once the pipe holds a byte, more are of no use.
  [[maybe_unused]] const ssize_t written = ::write(wake_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

ProcessStopSignal::ProcessStopSignal() {
  if (::pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe[0] = wake_pipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = note_stop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking call should see EINTR and look again
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

std::optional<std::string> ProcessStopSignal::requested() const {
  switch (caught_signal) {
    case 0:
      return std::nullopt;
    case SIGINT:
      return "SIGINT";
    default:
      return "SIGTERM";
  }
}

int ProcessStopSignal::wake_fd() const { return wake_pipe[0]; }

}  // namespace kelvo
