#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "process/subprocess.hpp"

namespace kelvo {

// The one effect of the host bridge: running the host program with an argument list (program
// name not included). The driver owns the runner, so tests can put a fake in its place.
class HostRunner {
 public:
  virtual ~HostRunner() = default;

  // Standard input from the null device, both outputs captured, waited for without a limit.
  virtual ProcessResult run(const std::vector<std::string>& args) = 0;

  // Writes `input` to the child's standard input and closes it, both outputs discarded, waited
  // for; gives how it ended.
  virtual ProcessStatus send_input(const std::vector<std::string>& args,
                                   std::string_view input) = 0;

  // The host program, as the messages about it name it.
  virtual const std::string& program() const = 0;
};

// Runs the host program as a child process, in a process group of its own. A call still running
// after a minute is reported once on standard error, and then waited for as long as it takes,
// unless `cancel_fd` becomes readable: then the call and whatever it started are killed.
class ProcessHostRunner final : public HostRunner {
 public:
  explicit ProcessHostRunner(std::string host_program);
  // From now on, calls end early when `fd` becomes readable.
  void cancel_on(int fd) { cancel_fd_ = fd; }

  ProcessResult run(const std::vector<std::string>& args) override;
  ProcessStatus send_input(const std::vector<std::string>& args, std::string_view input) override;
  const std::string& program() const override { return host_program_; }

 private:
  ProcessRequest request(const std::vector<std::string>& args) const;

  std::string host_program_;
  int cancel_fd_ = -1;
};

}  // namespace kelvo
