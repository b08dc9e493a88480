#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace kelvo {

// One named kind of wait and the running mean of the checkpoints classified into it.
struct ClassStat {
  std::uint64_t count = 0;
  double mean_secs = 0.0;
  std::uint64_t last_classified_ms = 0;

  bool operator==(const ClassStat&) const = default;
};

// Class name to its stats, ordered by name, byte-wise ascending.
using ClassRegistry = std::map<std::string, ClassStat>;

// Everything that outlives a run for one owner.
struct OwnerState {
  ClassRegistry registry;
  // Carried through load and save unchanged; nothing here reads or changes it.
  std::optional<std::uint64_t> acted_seq;

  bool operator==(const OwnerState&) const = default;
};

}  // namespace kelvo
