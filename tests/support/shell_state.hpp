#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "support/shell_session.hpp"

namespace kelvo::testing {

// The state file as the tests read it, by its documented form; read apart from the shell's own
// code, and with the JSON library kept out of the test files.
struct SavedClass {
  std::uint64_t count = 0;
  double mean_secs = 0;
  std::uint64_t last_classified_ms = 0;
};
struct SavedState {
  std::map<std::string, SavedClass> registry;
  std::optional<std::uint64_t> acted_seq;
};

// The session's state file, or nothing while it is missing or not of that form (exactly the keys
// "registry" and "acted_seq", each class exactly its three).
std::optional<SavedState> read_state(const ShellSession& session);

}  // namespace kelvo::testing
