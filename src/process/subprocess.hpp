#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kelvo {

// Someone to tell, once, when a child is still running `after` its start.
struct SlowChildWatch {
  std::chrono::milliseconds after;
  std::function<void(pid_t pid)> notice;
};

// What to run and how to wire it. The child inherits our working directory and environment.
struct ProcessRequest {
  std::vector<std::string> argv;     // argv[0]: a bare name is looked up on PATH, a path runs as is
  std::optional<std::string> input;  // absent: standard input from /dev/null
  bool capture_output = true;        // false: standard output and error go to /dev/null
  std::optional<SlowChildWatch> slow_watch;  // the wait itself still has no limit
};

struct SpawnFailed {
  int error;  // errno of the failed start
  bool operator==(const SpawnFailed&) const = default;
};
struct Exited {
  int code;
  bool operator==(const Exited&) const = default;
};
struct Signaled {
  int signal;
  bool operator==(const Signaled&) const = default;
};
// The child ran, but waiting for it failed, so how it ended is unknown.
struct WaitFailed {
  int error;  // errno of the failed waitpid
  bool operator==(const WaitFailed&) const = default;
};
using ProcessStatus = std::variant<SpawnFailed, Exited, Signaled, WaitFailed>;

struct ProcessResult {
  ProcessStatus status;
  std::string out;  // raw bytes; empty unless captured
  std::string err;
};

bool exited_zero(const ProcessStatus& status);

// Runs the child to completion: writes the input, drains both outputs together (so neither pipe
// can fill up and stall the child), and reaps it. There is no time limit.
ProcessResult run_process(const ProcessRequest& request);

// A child that exits without reading its input must not kill us with SIGPIPE; the failed write
// is then simply ignored. Call once at program start. Children still get the default action.
void ignore_sigpipe();

// "ENOENT (No such file or directory)"
std::string describe_errno(int error);

// "spawn failed: ENOENT (No such file or directory)", "exit status 3",
// "killed by signal 9 (SIGKILL)", "wait failed: ECHILD (No child processes)"
std::string describe_status(const ProcessStatus& status);

}  // namespace kelvo
