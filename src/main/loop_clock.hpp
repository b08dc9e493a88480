#pragma once

#include <string>

#include "common/time.hpp"

namespace kelvo {

// The loop's view of time: one reading per cycle, the local stamp messages carry, and the pause
// between cycles. Tests drive the loop with a fake one and never sleep.
class LoopClock {
 public:
  virtual ~LoopClock() = default;
  virtual WallTime now() = 0;
  virtual std::string local_stamp() = 0;
  virtual void sleep_between_cycles() = 0;
};

// The wall clock, the system's time zone and a real 500 ms sleep.
class SystemClock final : public LoopClock {
 public:
  WallTime now() override;
  std::string local_stamp() override;
  void sleep_between_cycles() override;
};

}  // namespace kelvo
