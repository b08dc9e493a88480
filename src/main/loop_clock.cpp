#include "main/loop_clock.hpp"

#include <cerrno>
#include <ctime>

#include "board/local_stamp.hpp"
#include "common/clock.hpp"

namespace kelvo {

std::uint64_t SystemClock::now_ms() { return kelvo::now_ms(); }

std::string SystemClock::local_stamp() { return kelvo::local_stamp(); }

void SystemClock::sleep_between_cycles() {
  timespec rest{0, 500'000'000};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

}  // namespace kelvo
