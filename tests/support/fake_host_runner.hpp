#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main/host_runner.hpp"

namespace kelvo::testing {

// A host that runs in-process: it records every call and answers from what the test sets.
class FakeHostRunner final : public HostRunner {
 public:
  struct Call {
    std::vector<std::string> args;
    std::optional<std::string> input;  // present for sends only
  };

  // Answers run(); when unset every call exits 0 and prints nothing.
  std::function<ProcessResult(const std::vector<std::string>& args)> answer;
  // How every send ends.
  ProcessStatus send_status = Exited{0};
  std::vector<Call> calls;
  std::string program_name = "qrn";

  ProcessResult run(const std::vector<std::string>& args) override;
  ProcessStatus send_input(const std::vector<std::string>& args, std::string_view input) override;
  const std::string& program() const override { return program_name; }
};

}  // namespace kelvo::testing
