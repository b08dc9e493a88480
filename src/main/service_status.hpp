#pragma once

#include <string>

#include "main/service_manager.hpp"
#include "main/shell_context.hpp"

namespace kelvo {

// The one line `systemctl status` shows, in local time:
// "demo: idle since 10:29:05; next nudge 10:30:05; board cqijcs :0 :1; 1 class; host calls ok".
// Before the host's first activity report the endpoint reads "busy (no report yet)"; without an
// owner the line begins "no owner:".
std::string service_status(const ShellContext& context);

// What the loop tells the service manager. It keeps the last status sent, so a status goes out
// again only when its text changes.
class ServiceReports {
 public:
  explicit ServiceReports(ServiceManager& manager) : manager_(manager) {}

  // READY=1 with the first status, once the run is set up.
  void ready(const ShellContext& context);
  // WATCHDOG=1 when the manager wants it, and the status when it changed; one notification.
  void cycle_done(const ShellContext& context);
  void stopping();

 private:
  ServiceManager& manager_;
  std::string last_status_;
};

}  // namespace kelvo
