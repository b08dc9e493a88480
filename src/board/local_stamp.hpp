#pragma once

#include <cstdint>
#include <string>

namespace kelvo {

// "HH:MM YYYY-MM-DD" in the local time zone for a moment in milliseconds since the epoch.
std::string local_stamp_at(std::uint64_t epoch_ms);

// The same for the current wall clock.
std::string local_stamp();

}  // namespace kelvo
