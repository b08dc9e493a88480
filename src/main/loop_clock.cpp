#include "main/loop_clock.hpp"

#include <cerrno>
#include <ctime>

#include "common/clock.hpp"

namespace kelvo {

WallTime SystemClock::now() { return wall_now(); }

void SystemClock::sleep_between_cycles() {
  timespec rest{0, 500'000'000};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

}  // namespace kelvo
