#include "main/loop_clock.hpp"

#include <poll.h>

#include "common/clock.hpp"

namespace kelvo {

SystemClock::SystemClock(int wake_fd) : wake_fd_(wake_fd) {}

WallTime SystemClock::now() { return wall_now(); }

void SystemClock::sleep_between_cycles() {
  // A signal (EINTR) or a byte on the wake descriptor ends the sleep early; the loop then looks
  // whether a stop was asked for.
  pollfd wake{wake_fd_, POLLIN, 0};
  static_cast<void>(::poll(&wake, 1, 500));
}

}  // namespace kelvo
