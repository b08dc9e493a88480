#pragma once

#include <string>

#include "cycle/shell_state.hpp"
#include "main/service_manager.hpp"

namespace kelvo {

// What the loop tells the service manager. It keeps the last status sent, so a status goes out
// again only when its text changes.
class ServiceReports {
 public:
  explicit ServiceReports(ServiceManager& manager) : manager_(manager) {}

  // READY=1 with the first status, once the run is set up.
  void ready(const RunSettings& run, const ShellState& state);
  // WATCHDOG=1 when the manager wants it, and the status when it changed; one notification.
  void cycle_done(const RunSettings& run, const ShellState& state);
  void stopping();

 private:
  ServiceManager& manager_;
  std::string last_status_;
};

}  // namespace kelvo
