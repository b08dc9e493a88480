#pragma once

#include <string>

#include "common/time.hpp"

namespace kelvo {

// Whole seconds as h/m/s text without days: 59s, 1m, 1m1s, 1h, 1h0m1s, 25h.
std::string format_duration(Seconds span);

// Whole seconds under a minute, whole minutes under an hour, else hours and minutes (minutes
// always written): 59s, 1m, 1h0m.
std::string format_idle_coarse(Seconds span);

}  // namespace kelvo
