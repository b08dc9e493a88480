#include "common/clock.hpp"

#include <ctime>

namespace kelvo {

namespace {

timespec wall_clock() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return ts;
}

}  // namespace

WallTime wall_now() {
  const timespec ts = wall_clock();
  if (ts.tv_sec < 0) return WallTime{};
  return at_epoch_ms(static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
                     static_cast<std::uint64_t>(ts.tv_nsec) / 1000000);
}

std::uint64_t now_ns() {
  const timespec ts = wall_clock();
  if (ts.tv_sec < 0) return 0;
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(ts.tv_nsec);
}

}  // namespace kelvo
