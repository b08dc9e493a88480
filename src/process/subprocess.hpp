#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace kelvo {

// An open file descriptor of ours, closed when the object goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset();
    fd_ = std::exchange(other.fd_, -1);
    return *this;
  }
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool open() const { return fd_ >= 0; }
  void reset();

 private:
  int fd_ = -1;
};

// Someone to tell, once, when a child is still running `after` its start.
struct SlowChildWatch {
  std::chrono::milliseconds after;
  std::function<void(pid_t pid)> notice;
};

// What to run and how to wire it. The child inherits our working directory, and our environment
// with `env_overrides` set in it.
struct ProcessRequest {
  std::vector<std::string> argv;     // argv[0]: a bare name is looked up on PATH, a path runs as is
  std::optional<std::string> input;  // absent: standard input from /dev/null
  bool capture_output = true;        // false: standard output and error go to /dev/null
  std::vector<std::pair<std::string, std::string>> env_overrides;
  std::optional<SlowChildWatch> slow_watch;  // the wait itself still has no limit
  // The child leads a process group of its own, so that a signal to the group (-pid) reaches
  // whatever it started too.
  bool own_process_group = false;
  // A descriptor that becomes readable when the call is to end early (a stop was asked for):
  // the child is then killed (its whole group, with own_process_group) and reaped, and
  // run_process returns at once. A call asked to end before it starts does not start.
  int cancel_fd = -1;
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
  bool cancelled = false;  // ended early through cancel_fd (killed, or never started)
};

bool exited_zero(const ProcessStatus& status);

// Runs the child to completion: writes the input, drains both outputs together (so neither pipe
// can fill up and stall the child), and reaps it. There is no time limit but the request's
// cancel_fd.
ProcessResult run_process(const ProcessRequest& request);

// A child running beside the caller with a pipe to its standard input and one from its standard
// error, our ends non-blocking. Standard output goes to the null device; `input`, `capture_output`
// and `slow_watch` of the request are not used.
struct PipedChild {
  pid_t pid;
  UniqueFd input;  // write the input here, then close it
  UniqueFd error;  // read until end of file or the child's end
};
std::variant<PipedChild, SpawnFailed> start_piped_process(const ProcessRequest& request);

// Without ever blocking: writes what the child's input takes (closing it once all is written, or
// once the child stops reading), and reads what its error output holds, keeping the first
// `keep` bytes in `err` and dropping the rest. A child that writes faster than one call reads
// is read for a few milliseconds at most, so one call never holds the caller up for long.
void pump_piped_child(PipedChild& child, std::string& input, std::string& err, std::size_t keep);

// The first line of a child's error output that holds anything, trimmed, as valid UTF-8: what
// a person is shown of why it failed, cut to CHILD_ERROR_TEXT_MAX bytes where it is shown. Empty
// when there is none.
inline constexpr std::size_t CHILD_ERROR_TEXT_MAX = 300;
std::string first_error_line(std::string_view err);

// Sends `signal` to the process group a child of ours leads (own_process_group), or to the child
// alone should it have left its group.
void signal_child_group(pid_t pid, int signal);

// Whether a child of ours has ended, without reaping it: until wait_for_child, its pid (and so
// its process group) cannot be taken by another process.
bool child_has_ended(pid_t pid);

// How a child of ours ended; with `block` false, nothing while it is still running.
std::optional<ProcessStatus> wait_for_child(pid_t pid, bool block);

// Our environment, each `NAME=value` of `overrides` in place of (or beside) the entry of its name.
std::vector<std::string> environment_with(
    const std::vector<std::pair<std::string, std::string>>& overrides);

// A child that exits without reading its input must not kill us with SIGPIPE; the failed write
// is then simply ignored. Call once at program start. Children still get the default action.
void ignore_sigpipe();

// "ENOENT (No such file or directory)"
std::string describe_errno(int error);

// "spawn failed: ENOENT (No such file or directory)", "exit status 3",
// "killed by signal 9 (SIGKILL)", "wait failed: ECHILD (No child processes)"
std::string describe_status(const ProcessStatus& status);

}  // namespace kelvo
