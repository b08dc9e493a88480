#pragma once

#include <cstdint>

#include "main/event_hook.hpp"
#include "main/host_runner.hpp"
#include "main/loop_clock.hpp"
#include "main/service_manager.hpp"

namespace kelvo {

// The effects the loop reaches through: the host program, the clock, the service manager and the
// event hook; and this process's id, which seeds the run's stretch ids.
struct LoopEffects {
  HostRunner& host;
  LoopClock& clock;
  ServiceManager& service;
  EventHook& events;
  std::uint32_t process_id = 0;
};

}  // namespace kelvo
