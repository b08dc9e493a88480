#include "main/service_manager.hpp"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <string>

namespace kelvo {

SystemdServiceManager::SystemdServiceManager() {
  std::uint64_t interval_usec = 0;
  // Leaves the variables in place: the host calls inherit them, and NotifyAccess=main makes
  // systemd ignore anything those children might send.
  watchdog_wanted_ = sd_watchdog_enabled(0, &interval_usec) > 0;
}

bool SystemdServiceManager::watchdog_wanted() const { return watchdog_wanted_; }

void SystemdServiceManager::notify(std::string_view assignments) {
  // Best effort: a lost notification costs a stale status line or, at worst, a watchdog
  // restart, and nothing the shell could do about a failed send would help the pacing.
  static_cast<void>(sd_notify(0, std::string(assignments).c_str()));
}

}  // namespace kelvo
