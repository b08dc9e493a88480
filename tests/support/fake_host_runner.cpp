#include "support/fake_host_runner.hpp"

namespace kelvo::testing {

ProcessResult FakeHostRunner::run(const std::vector<std::string>& args) {
  calls.push_back({args, std::nullopt});
  if (answer) return answer(args);
  return {Exited{0}, {}, {}};
}

ProcessStatus FakeHostRunner::send_input(const std::vector<std::string>& args,
                                         std::string_view input) {
  calls.push_back({args, std::string(input)});
  return send_status;
}

}  // namespace kelvo::testing
