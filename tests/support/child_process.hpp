#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "process/subprocess.hpp"

namespace kelvo::testing {

using Env = std::vector<std::pair<std::string, std::string>>;

// How the tests start a program beside them. The shipped process layer has no use for a changed
// environment or working folder, nor for outputs that go to files, so they live here.
struct ChildSpec {
  std::vector<std::string> argv;  // argv[0]: a bare name is looked up on PATH
  Env env_overrides;              // set on top of our environment
  std::filesystem::path cwd;      // empty: ours
  std::filesystem::path in;       // read as standard input; empty: the null device
  std::filesystem::path out;      // created or truncated; empty: the null device
  std::filesystem::path err;
};

// Starts the child, to be reaped with the process layer's wait_for_child; nothing but the errno
// when it cannot be started.
std::variant<pid_t, SpawnFailed> spawn_child(const ChildSpec& wiring);

}  // namespace kelvo::testing
