#pragma once

#include <cstdint>
#include <string>

namespace kelvo {

// Whole seconds as h/m/s text without days: 59s, 1m, 1m1s, 1h, 1h0m1s, 25h.
std::string format_duration(std::uint64_t seconds);

}  // namespace kelvo
