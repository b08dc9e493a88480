#include "support/running_program.hpp"

#include <signal.h>

#include <stdexcept>
#include <thread>
#include <variant>

#include "support/shell_script.hpp"

namespace kelvo::testing {

RunningProgram::RunningProgram(const std::vector<std::string>& argv, const Env& env_overrides,
                               const std::filesystem::path& cwd) {
  const auto started = spawn_child({.argv = argv,
                                    .env_overrides = env_overrides,
                                    .cwd = cwd,
                                    .in = {},
                                    .out = outputs_.path() / "out",
                                    .err = outputs_.path() / "err"});
  if (const auto* failed = std::get_if<SpawnFailed>(&started)) {
    throw std::runtime_error("cannot start " + argv.at(0) + ": " + describe_errno(failed->error));
  }
  pid_ = std::get<pid_t>(started);
}

RunningProgram::~RunningProgram() { stop(); }

bool RunningProgram::running() {
  if (!status_) status_ = wait_for_child(pid_, false);
  return !status_;
}

std::string RunningProgram::err() const { return read_file(outputs_.path() / "err"); }

ProgramRun RunningProgram::stop(int signal) {
  if (!running()) return finished();
  ::kill(pid_, signal);
  status_ = wait_for_child(pid_, true);
  return finished();
}

ProgramRun RunningProgram::finished() const {
  ProgramRun run{-1, 0, read_file(outputs_.path() / "out"), err()};
  if (const auto* exited = std::get_if<Exited>(&*status_)) run.exit_code = exited->code;
  if (const auto* signaled = std::get_if<Signaled>(&*status_)) run.signal = signaled->signal;
  return run;
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace kelvo::testing
