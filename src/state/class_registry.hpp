#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "state/owner_state.hpp"

namespace kelvo {

// Classifying a new name into a registry this full first evicts the least recently classified.
inline constexpr std::size_t REGISTRY_CAP = 50;

// Folds `secs` into the running mean of class `name`, creating it (and evicting one class when
// the registry is full) as needed.
void classify(OwnerState& state, const std::string& name, std::uint64_t secs, std::uint64_t now);

// A mean for display: nearest whole second, halves away from zero; negative or NaN gives 0,
// beyond the u64 range gives the u64 maximum.
std::uint64_t rounded_mean_secs(double mean_secs);

// The classes in listing order: count descending, then name ascending.
using ListedClass = std::pair<std::string_view, const ClassStat*>;
std::vector<ListedClass> listing_order(const ClassRegistry& registry);

}  // namespace kelvo
