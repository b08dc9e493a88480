#include "qrn-sim/stamps.hpp"

#include <ctime>

namespace kelvo::sim {

namespace {

std::string format_time(const std::tm& parts, const char* pattern) {
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, pattern, &parts);
  return std::string(text, length);
}

std::time_t seconds_of(std::uint64_t ms) { return static_cast<std::time_t>(ms / 1000); }

}  // namespace

std::string utc_stamp(std::uint64_t ms) {
  const std::time_t seconds = seconds_of(ms);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  return format_time(parts, "%Y-%m-%dT%H:%M:%SZ");
}

std::string local_stamp(std::uint64_t ms) {
  const std::time_t seconds = seconds_of(ms);
  std::tm parts{};
  localtime_r(&seconds, &parts);
  return format_time(parts, "%Y-%m-%d %H:%M:%S");
}

}  // namespace kelvo::sim
