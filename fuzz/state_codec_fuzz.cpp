// Reads arbitrary bytes as an owner state file; whatever loads must save and load back to the
// very same state, so a saved file is never one that the next run throws away.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "state/state_codec.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Bit for bit, so that -0.0 against 0.0 or a rounded mean counts as a change.
bool same_state(const kelvo::OwnerState& a, const kelvo::OwnerState& b) {
  if (a.acted_seq != b.acted_seq || a.registry.size() != b.registry.size()) return false;
  for (auto left = a.registry.begin(), right = b.registry.begin(); left != a.registry.end();
       ++left, ++right) {
    const kelvo::ClassStat& x = left->second;
    const kelvo::ClassStat& y = right->second;
    if (left->first != right->first || x.count != y.count ||
        x.last_classified_ms != y.last_classified_ms ||
        std::bit_cast<std::uint64_t>(x.mean_secs) != std::bit_cast<std::uint64_t>(y.mean_secs)) {
      return false;
    }
  }
  return true;
}

std::string saved(const kelvo::OwnerState& state) {
  auto text = kelvo::serialize_state(state);
  require(static_cast<bool>(text));
  return std::move(*text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto state = kelvo::parse_state(text);
  if (!state) return 0;
  const std::string file = saved(*state);
  const auto reloaded = kelvo::parse_state(file);
  require(reloaded && same_state(*state, *reloaded));
  // Saving what was loaded from a saved file changes nothing.
  require(saved(*reloaded) == file);
  return 0;
}
