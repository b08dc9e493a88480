#pragma once

#include <chrono>
#include <cstdint>

namespace kelvo {

// Spans the shell computes with: unsigned milliseconds, the unit of the host's `since` values.
using Millis = std::chrono::duration<std::uint64_t, std::milli>;
// Whole seconds, the unit of every span shown to a person (the remainder is dropped).
using Seconds = std::chrono::duration<std::uint64_t>;

// A wall-clock moment in milliseconds since the Unix epoch.
using WallTime = std::chrono::time_point<std::chrono::system_clock, Millis>;

constexpr WallTime at_epoch_ms(std::uint64_t ms) { return WallTime(Millis(ms)); }
constexpr std::uint64_t epoch_ms(WallTime time) { return time.time_since_epoch().count(); }

constexpr Seconds whole_seconds(Millis span) { return std::chrono::floor<Seconds>(span); }

constexpr Millis minutes_to_millis(std::uint32_t minutes) { return Millis(minutes * 60000ull); }

// `time + span`, held at the latest moment instead of wrapping round to the past: host-reported
// times are not authenticated and may lie anywhere in the u64 range.
constexpr WallTime saturating_add(WallTime time, Millis span) {
  const Millis room = WallTime::max() - time;
  return span > room ? WallTime::max() : time + span;
}

// From `earlier` to `later`, or zero when `later` is not after `earlier`.
constexpr Millis elapsed_between(WallTime earlier, WallTime later) {
  return later > earlier ? later - earlier : Millis::zero();
}

}  // namespace kelvo
