#pragma once

#include <optional>
#include <string>

#include "main/stop_signal.hpp"

namespace kelvo::testing {

// A stop a test asks for by setting `signal` ("SIGTERM").
class FakeStopSignal final : public StopSignal {
 public:
  std::optional<std::string> requested() const override { return signal; }

  std::optional<std::string> signal;
};

}  // namespace kelvo::testing
