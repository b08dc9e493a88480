#pragma once

#include <optional>
#include <string>

namespace kelvo {

// Whether someone asked the shell to stop (SIGTERM from the service manager, SIGINT from a
// terminal). The loop looks after every host call and every sleep; tests put a fake in its place.
class StopSignal {
 public:
  virtual ~StopSignal() = default;
  // The signal's name ("SIGTERM"), once one came.
  virtual std::optional<std::string> requested() const = 0;
};

// Catches SIGTERM and SIGINT for the rest of the process's life (one instance at most). The
// handler only notes the signal and makes `wake_fd` readable, so a sleep or a host call that
// polls it ends at once.
class ProcessStopSignal final : public StopSignal {
 public:
  ProcessStopSignal();
  ProcessStopSignal(const ProcessStopSignal&) = delete;
  ProcessStopSignal& operator=(const ProcessStopSignal&) = delete;

  std::optional<std::string> requested() const override;
  int wake_fd() const;
};

}  // namespace kelvo
