#include "main/host_runner.hpp"

#include <utility>
#include <variant>

namespace kelvo {

ProcessHostRunner::ProcessHostRunner(std::string host_program)
    : host_program_(std::move(host_program)) {}

std::vector<std::string> ProcessHostRunner::command(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{host_program_};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

ProcessResult ProcessHostRunner::run(const std::vector<std::string>& args) {
  ProcessRequest request;
  request.argv = command(args);
  return run_process(request);
}

bool ProcessHostRunner::send_input(const std::vector<std::string>& args, std::string_view input) {
  ProcessRequest request;
  request.argv = command(args);
  request.input = std::string(input);
  request.capture_output = false;
  return !std::holds_alternative<SpawnFailed>(run_process(request).status);
}

}  // namespace kelvo
