#include "board/duration.hpp"

namespace kelvo {

std::string format_duration(std::uint64_t seconds) {
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

}  // namespace kelvo
