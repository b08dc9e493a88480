#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/time.hpp"
#include "state/owner_state.hpp"

namespace kelvo {

// Classifying a new name into a registry this full first evicts the least recently classified.
inline constexpr std::size_t REGISTRY_CAP = 50;

// Folds `shown` into the running mean of class `name`, creating it (and evicting one class when
// the registry is full) as needed.
void classify(OwnerState& state, const std::string& name, Seconds shown, WallTime now);

// A mean for display: nearest whole second, halves away from zero; negative or NaN gives 0,
// beyond the u64 range gives the u64 maximum.
Seconds rounded_mean_secs(double mean_secs);

// The classes in listing order: count descending, then name ascending.
using ListedClass = std::pair<std::string_view, const ClassStat*>;
std::vector<ListedClass> listing_order(const ClassRegistry& registry);

struct RetireOutcome {
  // In the order the names were given, each with the stats it had.
  std::vector<std::pair<std::string, ClassStat>> retired;
  // Names that were no class (a name given twice is missing the second time).
  std::vector<std::string> missing;
};

// Removes each named class, in the order given.
RetireOutcome retire(OwnerState& state, const std::vector<std::string>& names);

// The reply when at least one class was retired: "⟳ **kelvo** retired b (~5m ×2); no class named
// a".
std::string retire_reply(const RetireOutcome& outcome);

// Why a retire that removed nothing is refused: "no class named x; no class named y".
std::string retire_refusal_reason(const std::vector<std::string>& missing);

// The registry piece of the status reply; it begins with a space.
std::string registry_summary(const OwnerState& state);

}  // namespace kelvo
