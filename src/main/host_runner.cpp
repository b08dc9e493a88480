#include "main/host_runner.hpp"

#include <chrono>
#include <string>
#include <utility>
#include <variant>

#include "common/console.hpp"
#include "common/text.hpp"
#include "main/host_cli.hpp"

namespace kelvo {

namespace {

// The host contract sets no time limit; past this a person should at least hear of the wait.
constexpr std::chrono::seconds kSlowCallNotice{60};

}  // namespace

ProcessHostRunner::ProcessHostRunner(std::string host_program)
    : host_program_(std::move(host_program)) {}

ProcessRequest ProcessHostRunner::request(const std::vector<std::string>& args) const {
  ProcessRequest request;
  request.argv = {host_program_};
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  request.own_process_group = true;
  request.cancel_fd = cancel_fd_;
  request.slow_watch =
      SlowChildWatch{kSlowCallNotice, [call = host_call_name(args)](pid_t pid) {
                       report(Urgency::Warning, fill("{} has not ended after 60s (pid {}); still "
                                                     "waiting",
                                                     {call, std::to_string(pid)}));
                     }};
  return request;
}

ProcessResult ProcessHostRunner::run(const std::vector<std::string>& args) {
  return run_process(request(args));
}

ProcessStatus ProcessHostRunner::send_input(const std::vector<std::string>& args,
                                            std::string_view input) {
  ProcessRequest send = request(args);
  send.input = std::string(input);
  send.capture_output = false;
  return run_process(send).status;
}

}  // namespace kelvo
