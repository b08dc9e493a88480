#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.hpp"

namespace kelvo::testing {

struct ProgramRun {
  int exit_code;  // the exit status, or -1 when a signal ended the program
  int signal;     // the signal that ended it, or 0
  std::string out;
  std::string err;
};

// Runs a program to completion with `input` on its standard input (empty: nothing to read)
// and both outputs captured. `env_overrides` set variables on top of ours; an empty `cwd`
// keeps ours. A program that cannot be started throws std::runtime_error.
ProgramRun run_program(const std::vector<std::string>& argv, std::string_view input = {},
                       const Env& env_overrides = {}, const std::filesystem::path& cwd = {});

}  // namespace kelvo::testing
