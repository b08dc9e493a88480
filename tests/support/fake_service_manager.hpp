#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "main/service_manager.hpp"

namespace kelvo::testing {

// A service manager that keeps every notification the loop sends it, oldest first.
class FakeServiceManager final : public ServiceManager {
 public:
  bool watchdog_wanted() const override { return wants_watchdog; }
  void notify(std::string_view assignments) override { sent.emplace_back(assignments); }

  bool wants_watchdog = true;
  std::vector<std::string> sent;
};

}  // namespace kelvo::testing
