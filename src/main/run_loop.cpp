#include "main/run_loop.hpp"

#include <chrono>
#include <thread>

namespace kelvo {

// Idles; the loop's work is not wired in yet.
void run_loop(const StartupSettings&) {
  for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

}  // namespace kelvo
