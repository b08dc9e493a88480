#pragma once

#include <cstdint>
#include <string>

#include "common/time.hpp"

namespace kelvo {

// Where a run's fresh stretch ids come from: the cycle's clock reading and this process's id,
// so shells started in the same instant still draw different ids, and a count of the ids drawn,
// so two drawn in one cycle differ too.
struct StretchIds {
  std::uint32_t process_id = 0;
  std::uint64_t drawn = 0;

  bool operator==(const StretchIds&) const = default;
};

// A fresh stretch id, seeded from `now` (in nanoseconds), the draws so far and the process id.
std::string draw_stretch_id(StretchIds& ids, WallTime now);

}  // namespace kelvo
