#include "support/run_program.hpp"

#include <stdexcept>
#include <variant>

#include "process/subprocess.hpp"

namespace kelvo::testing {

ProgramRun run_program(const std::vector<std::string>& argv, std::string_view input,
                       const std::vector<std::pair<std::string, std::string>>& env_overrides,
                       const std::filesystem::path& cwd) {
  ProcessRequest request;
  request.argv = argv;
  request.input = std::string(input);
  request.env_overrides = env_overrides;
  if (!cwd.empty()) request.cwd = cwd;
  ProcessResult result = run_process(request);
  if (const auto* failed = std::get_if<SpawnFailed>(&result.status)) {
    throw std::runtime_error("cannot run " + (argv.empty() ? "nothing" : argv[0]) + ": " +
                             describe_errno(failed->error));
  }
  ProgramRun run{-1, 0, std::move(result.out), std::move(result.err)};
  if (const auto* exited = std::get_if<Exited>(&result.status)) run.exit_code = exited->code;
  if (const auto* signaled = std::get_if<Signaled>(&result.status)) run.signal = signaled->signal;
  return run;
}

}  // namespace kelvo::testing
