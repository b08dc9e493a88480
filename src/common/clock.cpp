#include "common/clock.hpp"

#include <ctime>

namespace kelvo {

WallTime wall_now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  if (ts.tv_sec < 0) return WallTime{};
  return at_epoch_ms(static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
                     static_cast<std::uint64_t>(ts.tv_nsec) / 1000000);
}

}  // namespace kelvo
