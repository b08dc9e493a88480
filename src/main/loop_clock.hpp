#pragma once

#include "common/time.hpp"

namespace kelvo {

// The loop's view of time: one reading per cycle, and the pause between cycles. Tests drive the
// loop with a fake one and never sleep.
class LoopClock {
 public:
  virtual ~LoopClock() = default;
  virtual WallTime now() = 0;
  virtual void sleep_between_cycles() = 0;
};

// The wall clock and a real 500 ms sleep, cut short when `wake_fd` becomes readable.
class SystemClock final : public LoopClock {
 public:
  explicit SystemClock(int wake_fd);
  WallTime now() override;
  void sleep_between_cycles() override;

 private:
  int wake_fd_;
};

}  // namespace kelvo
