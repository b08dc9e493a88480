#include "support/run_program.hpp"

#include <fstream>
#include <stdexcept>
#include <variant>

#include "support/child_process.hpp"
#include "support/shell_script.hpp"
#include "support/temp_dir.hpp"

namespace kelvo::testing {

ProgramRun run_program(const std::vector<std::string>& argv, std::string_view input,
                       const Env& env_overrides, const std::filesystem::path& cwd) {
  // Files rather than pipes: nothing to pump, and a child that never reads its input is no
  // matter.
  const TempDir io;
  {
    std::ofstream in(io.path() / "in", std::ios::binary);
    in << input;
  }
  const auto spawned = spawn_child({.argv = argv,
                                    .env_overrides = env_overrides,
                                    .cwd = cwd,
                                    .in = io.path() / "in",
                                    .out = io.path() / "out",
                                    .err = io.path() / "err"});
  if (const auto* failed = std::get_if<SpawnFailed>(&spawned)) {
    throw std::runtime_error("cannot run " + (argv.empty() ? "nothing" : argv[0]) + ": " +
                             describe_errno(failed->error));
  }
  const ProcessStatus status = *wait_for_child(std::get<pid_t>(spawned), true);
  ProgramRun run{-1, 0, read_file(io.path() / "out"), read_file(io.path() / "err")};
  if (const auto* exited = std::get_if<Exited>(&status)) run.exit_code = exited->code;
  if (const auto* signaled = std::get_if<Signaled>(&status)) run.signal = signaled->signal;
  return run;
}

}  // namespace kelvo::testing
