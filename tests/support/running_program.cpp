#include "support/running_program.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

#include "support/shell_script.hpp"

extern char** environ;

namespace kelvo::testing {
namespace {

// Overrides go through env(1) so the program itself is exec'd in the same process.
std::vector<std::string> command(const std::vector<std::string>& argv,
                                 const std::vector<std::pair<std::string, std::string>>& env) {
  if (env.empty()) return argv;
  std::vector<std::string> full{"/usr/bin/env"};
  for (const auto& [name, value] : env) full.push_back(name + "=" + value);
  full.insert(full.end(), argv.begin(), argv.end());
  return full;
}

}  // namespace

RunningProgram::RunningProgram(
    const std::vector<std::string>& argv,
    const std::vector<std::pair<std::string, std::string>>& env_overrides,
    const std::filesystem::path& cwd) {
  std::vector<std::string> args = command(argv, env_overrides);
  std::vector<char*> pointers;
  for (auto& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  const std::string out = (outputs_.path() / "out").string();
  const std::string err = (outputs_.path() / "err").string();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  const int error =
      posix_spawnp(&pid_, args[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + args[0]);
}

RunningProgram::~RunningProgram() { stop(); }

bool RunningProgram::running() {
  if (wait_status_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  wait_status_ = status;
  return false;
}

std::string RunningProgram::err() const { return read_file(outputs_.path() / "err"); }

ProgramRun RunningProgram::stop() {
  if (!wait_status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    wait_status_ = status;
  }
  ProgramRun run{-1, 0, read_file(outputs_.path() / "out"), err()};
  if (WIFEXITED(*wait_status_)) run.exit_code = WEXITSTATUS(*wait_status_);
  if (WIFSIGNALED(*wait_status_)) run.signal = WTERMSIG(*wait_status_);
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
