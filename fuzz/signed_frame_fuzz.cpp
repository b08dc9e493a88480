// Poll lines through the signed envelope and the three typed parsers, once as they come (almost
// always refused by the MAC) and once signed, so the tag and attribute rules get exercised.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.hpp"
#include "frame/event_frame.hpp"
#include "frame/frame_mac.hpp"

namespace {

constexpr std::string_view kLink = "fuzz-link-token";

// A typed frame implies an envelope that opens.
std::optional<kelvo::EventFrame> exercise(std::string_view line) {
  const auto frame = kelvo::open_signed_frame(line, kLink);
  const bool boundary = kelvo::parse_boundary_frame(line, kLink).has_value();
  const bool io = kelvo::parse_io_frame(line, kLink).has_value();
  const bool command = kelvo::parse_shell_command_frame(line, kLink).has_value();
  if ((boundary || io || command) && !frame) std::abort();
  if (boundary + io + command > 1) std::abort();  // one type attribute, one type
  return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  exercise(input);
  // Signed, the line opens exactly as the tag parse of the trimmed text says, unless trailing
  // white space (outside the signed part after trimming) breaks the MAC.
  const auto opened = exercise(kelvo::sign_frame(input, kLink));
  if (kelvo::trim_end(input).size() == input.size() &&
      opened != kelvo::parse_event_tag(kelvo::trim(input))) {
    std::abort();
  }
  return 0;
}
