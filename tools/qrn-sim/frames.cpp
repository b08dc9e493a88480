#include "qrn-sim/frames.hpp"

#include "frame/frame_escape.hpp"
#include "frame/frame_mac.hpp"
#include "qrn-sim/error.hpp"

namespace kelvo::sim {

namespace {

std::string attribute(std::string_view name, std::string_view value) {
  // Attribute escapes have no form for a line break, unlike the body's <br>.
  require_one_line(value, name);
  std::string text = " ";
  text.append(name);
  text += "=\"";
  text += escape_attribute(value);
  text += '"';
  return text;
}

std::string event(std::string_view attributes, std::string_view escaped_body) {
  std::string text = "<EVENT";
  text.append(attributes);
  text += '>';
  text.append(escaped_body);
  text += "</EVENT>";
  return text;
}

bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

void require_one_line(std::string_view text, std::string_view what) {
  if (text.find('\n') != std::string_view::npos) {
    throw SimError("the " + std::string(what) + " must not hold a line break");
  }
}

std::string activity_frame(bool idle, std::uint64_t since) {
  return event(attribute("type", "activity") + attribute("state", idle ? "idle" : "busy") +
                   attribute("since", std::to_string(since)),
               "");
}

std::string agent_output_frame(std::string_view text, std::uint64_t seq, bool truncated) {
  std::string attributes = attribute("type", "io") + attribute("kind", "AGENT_OUTPUT") +
                           attribute("seq", std::to_string(seq));
  if (truncated) attributes += attribute("truncated", "1");
  return event(attributes, escape_body(text));
}

std::string boundary_frame(std::string_view kind) {
  return event(attribute("type", "boundary") + attribute("kind", kind), "");
}

std::string shell_command_frame(std::string_view op, std::string_view json_body) {
  return event(attribute("type", "shell_command") + attribute("op", op), escape_body(json_body));
}

std::string_view utf8_prefix(std::string_view text, std::size_t max_bytes) {
  if (max_bytes >= text.size()) return text;
  std::size_t end = max_bytes;
  while (end > 0 && is_continuation_byte(text[end])) --end;
  return text.substr(0, end);
}

std::string poll_line(const QueuedFrame& frame, std::string_view link) {
  if (frame.signing == Signing::None) return frame.text;
  auto line = sign_frame(frame.text, link);
  if (!line) throw SimError("cannot sign a frame: " + line.failure().reason);
  if (frame.signing == Signing::BadMac) (*line)[0] = (*line)[0] == '0' ? '1' : '0';
  return *line;
}

}  // namespace kelvo::sim
