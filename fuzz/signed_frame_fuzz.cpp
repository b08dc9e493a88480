// Poll lines through the signed envelope and the three typed parsers, once as they come (almost
// always refused by the MAC) and once signed, so the tag and attribute rules get exercised.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/text.hpp"
#include "cycle/poll_line.hpp"
#include "frame/event_frame.hpp"
#include "frame/frame_escape.hpp"
#include "frame/frame_mac.hpp"
#include "frame/shell_command.hpp"

namespace {

constexpr std::string_view kLink = "fuzz-link-token";

const kelvo::FrameKey& key() {
  static const kelvo::FrameKey derived = kelvo::derive_frame_key(kLink);
  return derived;
}

// A typed frame implies an envelope that opens, and the loop's one check gives what the typed
// parsers, each checking the MAC itself, give in the loop's order.
std::optional<kelvo::EventFrame> exercise(std::string_view line) {
  const auto frame = kelvo::open_signed_frame(line, key());
  const auto boundary = kelvo::parse_boundary_frame(line, key());
  const auto io = kelvo::parse_io_frame(line, key());
  const bool command = kelvo::parse_shell_command_frame(line, key()).has_value();
  if ((boundary || io || command) && !frame) std::abort();
  if (boundary.has_value() + io.has_value() + command > 1) std::abort();  // one type attribute

  kelvo::PollLine expected = kelvo::IgnoredLine{};
  if (boundary) {
    expected = kelvo::BoundaryLine{};
  } else if (line.find("type=\"boundary\"") != std::string_view::npos) {
    expected = kelvo::RefusedBoundaryLine{};
  } else if (io) {
    expected = *io;
  } else if (auto read = kelvo::read_shell_command(line, key())) {
    expected = std::move(*read);
  }
  if (kelvo::sort_poll_line(line, key()) != expected) std::abort();
  return frame;
}

// The one-pass unescapers against their definition: each escape replaced in turn.
void check_unescape(std::string_view text) {
  std::string attribute = kelvo::replace_all(text, "&lt;", "<");
  attribute = kelvo::replace_all(attribute, "&gt;", ">");
  attribute = kelvo::replace_all(attribute, "&quot;", "\"");
  attribute = kelvo::replace_all(attribute, "&amp;", "&");
  if (kelvo::unescape_attribute(text) != attribute) std::abort();
  std::string body = kelvo::replace_all(text, "<br>", "\n");
  body = kelvo::replace_all(body, "&lt;", "<");
  body = kelvo::replace_all(body, "&gt;", ">");
  body = kelvo::replace_all(body, "&quot;", "\"");
  body = kelvo::replace_all(body, "&amp;", "&");
  if (kelvo::unescape_body(text) != body) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  exercise(input);
  check_unescape(input);
  const auto line = kelvo::sign_frame(input, kLink);
  if (!line) std::abort();
  // Signed, the line opens exactly as the tag parse of the trimmed text says, unless trailing
  // white space (outside the signed part after trimming) breaks the MAC.
  const auto opened = exercise(*line);
  if (kelvo::trim_end(input).size() == input.size() &&
      opened != kelvo::parse_event_tag(kelvo::trim(input))) {
    std::abort();
  }
  return 0;
}
