#include "common/local_stamp.hpp"

#include <ctime>

namespace kelvo {

namespace {

std::string local_text(WallTime moment, const char* format) {
  // Every u64 millisecond count stays well inside the years that std::tm can hold.
  const auto secs = static_cast<std::time_t>(whole_seconds(moment.time_since_epoch()).count());
  std::tm parts{};
  localtime_r(&secs, &parts);
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, format, &parts);
  return std::string(text, length);
}

}  // namespace

std::string local_stamp_at(WallTime moment) { return local_text(moment, "%H:%M %Y-%m-%d"); }

std::string local_hour_minute(WallTime moment) { return local_text(moment, "%H:%M"); }

std::string local_time_of_day(WallTime moment) { return local_text(moment, "%H:%M:%S"); }

}  // namespace kelvo
