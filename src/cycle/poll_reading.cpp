#include "cycle/poll_reading.hpp"

#include <algorithm>
#include <variant>

namespace kelvo {

void take_codes(PollReading& reading, std::string_view text) {
  const auto found = scan_inline_codes(text);
  const bool done = std::any_of(found.begin(), found.end(), [](const InlineCode& code) {
    return std::holds_alternative<DoneCode>(code);
  });
  if (done) reading.done_text = std::string(text);
  reading.codes.insert(reading.codes.end(), found.begin(), found.end());
}

}  // namespace kelvo
