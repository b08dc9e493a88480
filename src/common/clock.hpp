#pragma once

#include <cstdint>

#include "common/time.hpp"

namespace kelvo {

// The wall clock (UTC); a reading before the epoch is the epoch.
WallTime wall_now();

}  // namespace kelvo
