#pragma once

#include <cstdint>
#include <string>

#include "common/time.hpp"
#include "main/loop_clock.hpp"

namespace kelvo::testing {

// A clock that stands still until the loop sleeps; each sleep moves it on by 500 ms.
class FakeClock final : public LoopClock {
 public:
  explicit FakeClock(std::uint64_t start_ms) : now_at(at_epoch_ms(start_ms)) {}

  WallTime now() override { return now_at; }
  void sleep_between_cycles() override { now_at += Millis(500); }

  WallTime now_at;
};

}  // namespace kelvo::testing
