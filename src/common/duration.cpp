#include "common/duration.hpp"

namespace kelvo {

std::string format_duration(Seconds span) {
  const std::uint64_t seconds = span.count();
  const std::uint64_t h = seconds / 3600;
  const std::uint64_t m = seconds % 3600 / 60;
  const std::uint64_t s = seconds % 60;
  if (h == 0 && m == 0) return std::to_string(s) + "s";
  std::string text;
  if (h != 0) text = std::to_string(h) + "h";
  if (m != 0 || (h != 0 && s != 0)) text += std::to_string(m) + "m";
  if (s != 0) text += std::to_string(s) + "s";
  return text;
}

std::string format_idle_coarse(Seconds span) {
  const std::uint64_t seconds = span.count();
  if (seconds < 60) return std::to_string(seconds) + "s";
  if (seconds < 3600) return std::to_string(seconds / 60) + "m";
  return std::to_string(seconds / 3600) + "h" + std::to_string(seconds % 3600 / 60) + "m";
}

}  // namespace kelvo
