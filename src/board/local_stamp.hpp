#pragma once

#include <string>

#include "common/time.hpp"

namespace kelvo {

// "HH:MM YYYY-MM-DD" in the local time zone.
std::string local_stamp_at(WallTime moment);

}  // namespace kelvo
