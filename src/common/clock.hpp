#pragma once

#include <cstdint>

namespace kelvo {

// The wall clock (UTC) in milliseconds since the Unix epoch; a reading before the epoch is 0.
std::uint64_t now_ms();

// The same clock in nanoseconds, low 64 bits; a reading before the epoch is 0.
std::uint64_t now_ns();

}  // namespace kelvo
