#pragma once

#include <cstdint>
#include <string>

#include "main/loop_clock.hpp"

namespace kelvo::testing {

// A clock that stands still until the loop sleeps; each sleep moves it on by 500 ms.
class FakeClock final : public LoopClock {
 public:
  explicit FakeClock(std::uint64_t start_ms) : now(start_ms) {}

  std::uint64_t now_ms() override { return now; }
  std::string local_stamp() override { return stamp; }
  void sleep_between_cycles() override { now += 500; }

  std::uint64_t now;
  std::string stamp = "14:05 2026-12-07";
};

}  // namespace kelvo::testing
