#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/child_process.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace kelvo::testing {

// A program left running in the background, for programs that never end by themselves.
// Its standard input is the null device; its outputs go to files, so it never blocks on them.
class RunningProgram {
 public:
  RunningProgram(const std::vector<std::string>& argv, const Env& env_overrides = {},
                 const std::filesystem::path& cwd = {});
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // False once the program has ended (it is reaped then).
  bool running();
  // What it has written to standard error so far.
  std::string err() const;
  // Sends it `signal` unless it has ended, reaps it, and gives what it printed.
  ProgramRun stop(int signal = SIGKILL);

 private:
  ProgramRun finished() const;

  TempDir outputs_;
  pid_t pid_ = -1;
  std::optional<ProcessStatus> status_;
};

// Checks `condition` every 10 ms until it holds (true) or `timeout` has passed (false).
bool wait_until(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace kelvo::testing
