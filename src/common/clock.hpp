#pragma once

#include <cstdint>

#include "common/time.hpp"

namespace kelvo {

// The wall clock (UTC); a reading before the epoch is the epoch.
WallTime wall_now();

// The same clock in nanoseconds, low 64 bits; a reading before the epoch is 0.
std::uint64_t now_ns();

}  // namespace kelvo
