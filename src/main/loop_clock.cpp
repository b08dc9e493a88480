#include "main/loop_clock.hpp"

#include <cerrno>
#include <ctime>

#include "board/local_stamp.hpp"
#include "common/clock.hpp"

namespace kelvo {

WallTime SystemClock::now() { return wall_now(); }

std::string SystemClock::local_stamp() { return local_stamp_at(wall_now()); }

void SystemClock::sleep_between_cycles() {
  timespec rest{0, 500'000'000};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

}  // namespace kelvo
