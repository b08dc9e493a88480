#include "state/class_registry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/agent_voice.hpp"
#include "common/duration.hpp"
#include "common/text.hpp"

namespace kelvo {

namespace {

void evict_least_recent(ClassRegistry& registry) {
  // The map is in name order, so the first minimum found is also first by name.
  auto oldest = registry.begin();
  for (auto it = registry.begin(); it != registry.end(); ++it) {
    if (it->second.last_classified_ms < oldest->second.last_classified_ms) oldest = it;
  }
  if (oldest != registry.end()) registry.erase(oldest);
}

void append_item(std::string& text, std::string_view item) {
  if (!text.empty()) text += "; ";
  text += item;
}

void append_missing(std::string& text, const std::vector<std::string>& missing) {
  for (const std::string& name : missing) append_item(text, fill("no class named {}", {name}));
}

}  // namespace

void classify(OwnerState& state, const std::string& name, Seconds shown, WallTime now) {
  if (!state.registry.contains(name) && state.registry.size() >= REGISTRY_CAP) {
    evict_least_recent(state.registry);
  }
  ClassStat& stat = state.registry[name];
  // A count read from the file at the u64 limit stays there: wrapping to 0 would divide by zero
  // and leave a mean that the file writes as null, losing every class at the next load.
  if (stat.count != std::numeric_limits<std::uint64_t>::max()) stat.count += 1;
  const auto secs = static_cast<double>(shown.count());
  stat.mean_secs += (secs - stat.mean_secs) / static_cast<double>(stat.count);
  stat.last_classified_ms = epoch_ms(now);
}

Seconds rounded_mean_secs(double mean_secs) {
  if (std::isnan(mean_secs) || mean_secs <= 0.0) return Seconds::zero();
  const double rounded = std::round(mean_secs);  // halves away from zero
  // 2^64 is exactly representable; anything at or past it saturates.
  if (rounded >= 18446744073709551616.0) return Seconds::max();
  return Seconds(static_cast<std::uint64_t>(rounded));
}

std::vector<ListedClass> listing_order(const ClassRegistry& registry) {
  std::vector<ListedClass> listed;
  listed.reserve(registry.size());
  for (const auto& [name, stat] : registry) listed.emplace_back(name, &stat);
  // The map hands them over in name order; a stable sort by count keeps it among equals.
  std::stable_sort(listed.begin(), listed.end(), [](const ListedClass& a, const ListedClass& b) {
    return a.second->count > b.second->count;
  });
  return listed;
}

RetireOutcome retire(OwnerState& state, const std::vector<std::string>& names) {
  RetireOutcome outcome;
  for (const std::string& name : names) {
    if (auto found = state.registry.extract(name)) {
      outcome.retired.emplace_back(name, found.mapped());
    } else {
      outcome.missing.push_back(name);
    }
  }
  return outcome;
}

std::string retire_reply(const RetireOutcome& outcome) {
  std::string items;
  for (const auto& [name, stat] : outcome.retired) {
    const std::string mean = format_duration(rounded_mean_secs(stat.mean_secs));
    append_item(items, fill("retired {} (~{} ×{})", {name, mean, std::to_string(stat.count)}));
  }
  append_missing(items, outcome.missing);
  return kelvo_says(items);
}

std::string retire_refusal_reason(const std::vector<std::string>& missing) {
  std::string reason;
  append_missing(reason, missing);
  return reason;
}

std::string registry_summary(const OwnerState& state) {
  const std::size_t size = state.registry.size();
  return fill(
      " {} class{} in the registry. Classify a shown checkpoint with `classify <id>-<sub> <name>` "
      "or `!!classify=<id>-<sub>:<name>!!`; `retire \"<names>\"` removes classes.",
      {std::to_string(size), size == 1 ? "" : "es"});
}

}  // namespace kelvo
