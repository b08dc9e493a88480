#pragma once

#include <string>

#include "common/time.hpp"

namespace kelvo {

// "HH:MM YYYY-MM-DD" in the local time zone.
std::string local_stamp_at(WallTime moment);

// "HH:MM" in the local time zone.
std::string local_hour_minute(WallTime moment);

// "HH:MM:SS" in the local time zone.
std::string local_time_of_day(WallTime moment);

}  // namespace kelvo
