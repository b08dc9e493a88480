#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/report_throttle.hpp"
#include "common/time.hpp"
#include "cycle/outbox.hpp"
#include "cycle/shell_event.hpp"
#include "process/subprocess.hpp"

namespace kelvo {

// Where the shell tells a person of its events: the program of --on-event. The driver owns it
// and reports the lines it gives (without the "kelvo-shell: " prefix); it never writes to the
// console itself and never makes the loop wait, except in drain at the end of the run.
class EventHook {
 public:
  virtual ~EventHook() = default;

  // Queues the event; nothing starts before the next service.
  virtual void tell(ShellEvent event) = 0;

  // Once a cycle, after the cycle's events were told: reaps the hook that has ended, starts the
  // next one, ends one that has run too long. Gives the lines to report.
  virtual std::vector<std::string> service(WallTime now) = 0;

  // At the end of the run: goes on servicing until the queue is empty and no hook runs, for at
  // most `at_most`, then kills the hook still running and forgets the rest. Blocks.
  virtual std::vector<std::string> drain(Millis at_most) = 0;
  // The runs that failed so far, and the line of the last (whether it was reported or not).
  virtual HookHealth health() const = 0;
};

// Without --on-event: nothing runs and nothing is reported.
class NoEventHook final : public EventHook {
 public:
  void tell(ShellEvent) override {}
  std::vector<std::string> service(WallTime) override { return {}; }
  std::vector<std::string> drain(Millis) override { return {}; }
  HookHealth health() const override { return {}; }
};

// How long the shell waits for its queue of events before it exits, after `ending`.
inline constexpr Millis EVENT_DRAIN_AT_MOST{10'000};

struct EventHookLimits {
  Millis run_for{30'000};        // then SIGTERM to the hook's process group
  Millis kill_after{5'000};      // then SIGKILL, this long after the SIGTERM
  std::size_t queue = 32;        // events waiting; past that the oldest is dropped
  Millis report_every{600'000};  // at most one failure line this often while failures go on
};

// Runs the program as `PROGRAM EVENT` (no shell) with KELVO_EVENT, KELVO_OWNER and
// KELVO_SHELL_ID added to the environment and the event's JSON on its standard input; one at a
// time, in a process group of its own, standard output to the null device, standard error read
// only for its first line. A hook that cannot start, exits non-zero, is killed or times out
// gives `event hook <program> failed on <event>: <why>`. The process must ignore SIGPIPE
// (ignore_sigpipe): a hook may exit without reading its input.
class ProcessEventHook final : public EventHook {
 public:
  explicit ProcessEventHook(std::string program, EventHookLimits limits = {});
  ~ProcessEventHook() override;  // kills a hook still running
  ProcessEventHook(const ProcessEventHook&) = delete;
  ProcessEventHook& operator=(const ProcessEventHook&) = delete;

  void tell(ShellEvent event) override;
  std::vector<std::string> service(WallTime now) override;
  std::vector<std::string> drain(Millis at_most) override;
  HookHealth health() const override { return health_; }

 private:
  using Steady = std::chrono::steady_clock;
  struct Running {
    ShellEventKind kind;
    PipedChild child;
    std::string input;  // what is still to be written
    std::string err;    // the first bytes of its standard error
    Steady::time_point started;
    bool terminated = false;  // SIGTERM sent
    bool killed = false;      // SIGKILL sent
  };

  void step(WallTime now, std::vector<std::string>& lines);
  void start_next(WallTime now, std::vector<std::string>& lines);
  void finish(WallTime now, std::vector<std::string>& lines);
  void enforce_time_limit();
  void fail(WallTime now, ShellEventKind kind, const std::string& why,
            std::vector<std::string>& lines);
  WallTime now_for_drain() const;

  std::string program_;
  EventHookLimits limits_;
  std::string host_;
  std::deque<ShellEvent> queue_;
  std::uint64_t dropped_ = 0;  // since the last event that was started
  std::optional<Running> running_;
  ReportThrottle failure_lines_;
  HookHealth health_;
  WallTime last_now_;  // the driver's clock, at the last service
  Steady::time_point last_now_steady_;
};

// The runner for --on-event: a ProcessEventHook with the default limits, or without the option
// a NoEventHook.
std::unique_ptr<EventHook> make_event_hook(const std::optional<std::string>& program);

// The machine's name (gethostname), or "" when it has none.
std::string machine_name();

}  // namespace kelvo
