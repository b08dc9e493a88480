#pragma once

#include <string_view>

namespace kelvo {

// The service manager that started the shell, if any: told when the run is ready, how it is
// doing, that it is alive, and that it is stopping. The driver owns it, so tests can record
// what would be sent.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  // Whether the manager wants WATCHDOG=1 from every cycle.
  virtual bool watchdog_wanted() const = 0;

  // Sends `assignments` (NAME=value lines, such as "READY=1\nSTATUS=…") as one notification.
  virtual void notify(std::string_view assignments) = 0;
};

// systemd's notification socket through libsystemd: without NOTIFY_SOCKET nothing is sent.
// The watchdog is asked about once, at construction.
class SystemdServiceManager final : public ServiceManager {
 public:
  SystemdServiceManager();

  bool watchdog_wanted() const override;
  void notify(std::string_view assignments) override;

 private:
  bool watchdog_wanted_;
};

}  // namespace kelvo
