#include "board/local_stamp.hpp"

#include <ctime>

#include "common/clock.hpp"

namespace kelvo {

std::string local_stamp_at(std::uint64_t epoch_ms) {
  // Every u64 millisecond count stays well inside the years that std::tm can hold.
  const auto secs = static_cast<std::time_t>(epoch_ms / 1000);
  std::tm parts{};
  localtime_r(&secs, &parts);
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, "%H:%M %Y-%m-%d", &parts);
  return std::string(text, length);
}

std::string local_stamp() { return local_stamp_at(now_ms()); }

}  // namespace kelvo
