#include "board/local_stamp.hpp"

#include <ctime>

namespace kelvo {

std::string local_stamp_at(WallTime moment) {
  // Every u64 millisecond count stays well inside the years that std::tm can hold.
  const auto secs = static_cast<std::time_t>(whole_seconds(moment.time_since_epoch()).count());
  std::tm parts{};
  localtime_r(&secs, &parts);
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, "%H:%M %Y-%m-%d", &parts);
  return std::string(text, length);
}

}  // namespace kelvo
