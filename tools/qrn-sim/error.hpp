#pragma once

#include <stdexcept>
#include <string>

namespace kelvo::sim {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A request the stand-in host turns down; the command line prints the message on standard
// error and exits with the code.
class SimError : public std::runtime_error {
 public:
  explicit SimError(const std::string& message, int exit_code = kExitFailure)
      : std::runtime_error(message), exit_code_(exit_code) {}
  int exit_code() const { return exit_code_; }

 private:
  int exit_code_;
};

inline SimError usage_error(const std::string& usage) {
  return SimError("usage: " + usage, kExitUsage);
}

}  // namespace kelvo::sim
