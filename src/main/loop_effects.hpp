#pragma once

#include <cstdint>

#include "main/event_hook.hpp"
#include "main/host_runner.hpp"
#include "main/loop_clock.hpp"
#include "main/service_manager.hpp"
#include "main/stop_signal.hpp"

namespace kelvo {

// The effects the loop reaches through: the host program, the clock, the service manager, the
// event hook, and the signal that asks for a stop; and this process's id, which seeds the run's
// stretch ids.
struct LoopEffects {
  HostRunner& host;
  LoopClock& clock;
  ServiceManager& service;
  EventHook& events;
  StopSignal& stop;
  std::uint32_t process_id = 0;
};

}  // namespace kelvo
