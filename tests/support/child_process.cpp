#include "support/child_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

extern char** environ;

namespace kelvo::testing {

namespace {

std::vector<std::string> merged_environment(const Env& overrides) {
  std::vector<std::string> entries;
  const auto overridden = [&](std::string_view entry) {
    for (const auto& [name, value] : overrides) {
      if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
        return true;
      }
    }
    return false;
  };
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!overridden(*entry)) entries.emplace_back(*entry);
  }
  for (const auto& [name, value] : overrides) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

void open_in_child(posix_spawn_file_actions_t* actions, int child_fd,
                   const std::filesystem::path& file, bool reads) {
  if (reads) {
    posix_spawn_file_actions_addopen(actions, child_fd, file.empty() ? "/dev/null" : file.c_str(),
                                     O_RDONLY, 0);
  } else {
    posix_spawn_file_actions_addopen(actions, child_fd, file.empty() ? "/dev/null" : file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
}

}  // namespace

std::variant<pid_t, SpawnFailed> spawn_child(const ChildSpec& spec) {
  if (spec.argv.empty()) return SpawnFailed{EINVAL};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  open_in_child(&actions, STDIN_FILENO, spec.in, true);
  open_in_child(&actions, STDOUT_FILENO, spec.out, false);
  open_in_child(&actions, STDERR_FILENO, spec.err, false);
  if (!spec.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, spec.cwd.c_str());
  // A test that ignores SIGPIPE must not pass that on: ignored signals survive exec.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argv = spec.argv;
  std::vector<char*> argv_pointers = pointers_to(argv);
  std::vector<std::string> env = merged_environment(spec.env_overrides);
  std::vector<char*> env_pointers = pointers_to(env);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0].c_str(), &actions, &attr, argv_pointers.data(),
                                 env_pointers.data());
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return SpawnFailed{error};
  return pid;
}

std::optional<ProcessStatus> reap_child(pid_t pid, bool block) {
  int status = 0;
  pid_t waited = 0;
  while ((waited = ::waitpid(pid, &status, block ? 0 : WNOHANG)) < 0) {
    if (errno != EINTR) return WaitFailed{errno};
  }
  if (waited == 0) return std::nullopt;  // still running
  if (WIFEXITED(status)) return Exited{WEXITSTATUS(status)};
  return Signaled{WTERMSIG(status)};
}

}  // namespace kelvo::testing
