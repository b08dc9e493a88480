#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cycle/shell_state.hpp"
#include "main/host_runner.hpp"
#include "main/loop_clock.hpp"
#include "main/service_manager.hpp"
#include "main/startup.hpp"
#include "main/stop_signal.hpp"

namespace kelvo::bench {

inline const std::string kLink = "0123456789abcdef0123456789abcdef";
inline const std::string kOwner = "demo";
inline const std::string kShellId = "KELVO-0";

// A host that runs in-process and starts no child: every poll prints `poll_out`, every
// drive-poll `activity_out`, every digest `digest_out`; sends are only counted. It keeps
// nothing per call, so it neither costs nor grows with the number of cycles.
class CannedHost final : public HostRunner {
 public:
  std::string poll_out;
  std::string activity_out;
  std::string digest_out = R"({"turns":[]})";
  std::uint64_t sends = 0;

  ProcessResult run(const std::vector<std::string>& args) override;
  ProcessStatus send_input(const std::vector<std::string>& args, std::string_view input) override;
  const std::string& program() const override { return program_name; }

 private:
  std::string program_name = "qrn";
};

// A clock that moves on 500 ms at each sleep and never sleeps.
class SteppingClock final : public LoopClock {
 public:
  WallTime now_at = at_epoch_ms(1'800'000'000'000);

  WallTime now() override { return now_at; }
  void sleep_between_cycles() override { now_at += Millis(500); }
};

// No service manager: the benchmarks run cycles, not the loop that reports to one.
class NoServiceManager final : public ServiceManager {
 public:
  bool watchdog_wanted() const override { return false; }
  void notify(std::string_view) override {}
};

class NoStopSignal final : public StopSignal {
 public:
  std::optional<std::string> requested() const override { return std::nullopt; }
};

// The settings of a shell bound as kShellId for kOwner on kLink, without a state directory.
StartupSettings bench_settings();

// `count` signed AGENT_OUTPUT io lines of ordinary agent prose (no inline codes), one poll's
// output.
std::string agent_output_poll(std::size_t count);

// One drive-poll output: the endpoint busy since `since`.
std::string busy_since(std::uint64_t since);

}  // namespace kelvo::bench
