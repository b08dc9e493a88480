#include "support/child_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace kelvo::testing {

namespace {

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

std::variant<pid_t, SpawnFailed> spawn_child(const ChildSpec& wiring) {
  if (wiring.argv.empty()) return SpawnFailed{EINVAL};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  open_in_child(&actions, STDIN_FILENO, wiring.in, true);
  open_in_child(&actions, STDOUT_FILENO, wiring.out, false);
  open_in_child(&actions, STDERR_FILENO, wiring.err, false);
  if (!wiring.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, wiring.cwd.c_str());
  // A test that ignores SIGPIPE must not pass that on: ignored signals survive exec.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argv = wiring.argv;
  std::vector<char*> argv_pointers = pointers_to(argv);
  std::vector<std::string> env = environment_with(wiring.env_overrides);
  std::vector<char*> env_pointers = pointers_to(env);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0].c_str(), &actions, &attr, argv_pointers.data(),
                                 env_pointers.data());
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return SpawnFailed{error};
  return pid;
}

}  // namespace kelvo::testing
