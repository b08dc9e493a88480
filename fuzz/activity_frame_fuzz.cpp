// drive-poll lines through the unsigned activity parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/text.hpp"
#include "frame/event_frame.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto activity = kelvo::parse_activity_frame(input);
  if (activity && !kelvo::parse_event_tag(kelvo::trim(input))) std::abort();
  return 0;
}
