#include "frame/event_frame.hpp"

#include <utility>

#include "common/text.hpp"
#include "frame/frame_escape.hpp"
#include "frame/frame_mac.hpp"

namespace kelvo {

namespace {

constexpr std::string_view kOpenTag = "<EVENT";
constexpr std::string_view kCloseTag = "</EVENT>";

// The still escaped value of the first ` name="..."`, when its closing quote is there too.
std::optional<std::string_view> raw_attribute(std::string_view attributes, std::string_view name) {
  std::string needle = " ";
  needle.append(name);
  needle.append("=\"");
  const std::size_t hit = attributes.find(needle);
  if (hit == std::string_view::npos) return std::nullopt;
  const std::size_t value_start = hit + needle.size();
  const std::size_t value_end = attributes.find('"', value_start);
  if (value_end == std::string_view::npos) return std::nullopt;
  return attributes.substr(value_start, value_end - value_start);
}

bool has_type(const EventFrame& frame, std::string_view type) {
  return frame_attribute(frame.attributes, "type") == type;
}

std::optional<Activity> parse_activity_state(const std::optional<std::string>& state) {
  if (state == "idle") return Activity::Idle;
  if (state == "busy") return Activity::Busy;
  return std::nullopt;
}

}  // namespace

std::optional<EventFrame> parse_event_tag(std::string_view frame_text) {
  if (!frame_text.starts_with(kOpenTag)) return std::nullopt;
  frame_text.remove_prefix(kOpenTag.size());
  // <EVENT-ACK and its kin are other elements.
  if (frame_text.starts_with('-')) return std::nullopt;
  const std::size_t tag_end = frame_text.find('>');
  if (tag_end == std::string_view::npos) return std::nullopt;
  std::string_view rest = frame_text.substr(tag_end + 1);
  if (!rest.ends_with(kCloseTag)) return std::nullopt;
  rest.remove_suffix(kCloseTag.size());
  return EventFrame{std::string(frame_text.substr(0, tag_end)), std::string(rest)};
}

std::optional<EventFrame> open_signed_frame(std::string_view line, const FrameKey& key) {
  line = trim(line);
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::string_view frame_text = line.substr(space + 1);
  if (!verify_frame_mac(line.substr(0, space), frame_text, key)) return std::nullopt;
  return parse_event_tag(trim(frame_text));
}

std::optional<std::string> frame_attribute(std::string_view attributes, std::string_view name) {
  const auto value = raw_attribute(attributes, name);
  if (!value) return std::nullopt;
  return unescape_attribute(*value);
}

std::optional<ActivityFrame> parse_activity_frame(std::string_view line) {
  const auto frame = parse_event_tag(trim(line));
  if (!frame || !has_type(*frame, "activity")) return std::nullopt;
  const auto activity = parse_activity_state(frame_attribute(frame->attributes, "state"));
  // The host writes `since` itself; anything but plain digits is not its frame.
  const auto since_text = frame_attribute(frame->attributes, "since");
  const auto since = since_text ? parse_u64(*since_text) : std::nullopt;
  if (!activity || !since) return std::nullopt;
  return ActivityFrame{*activity, at_epoch_ms(*since)};
}

std::optional<BoundaryFrame> read_boundary_frame(const EventFrame& frame) {
  if (!has_type(frame, "boundary")) return std::nullopt;
  // A boundary names its kind; which kind it is changes nothing.
  if (!raw_attribute(frame.attributes, "kind")) return std::nullopt;
  return BoundaryFrame{};
}

std::optional<IoFrame> read_io_frame(const EventFrame& frame) {
  if (!has_type(frame, "io")) return std::nullopt;
  auto kind = frame_attribute(frame.attributes, "kind");
  if (!kind) return std::nullopt;
  // A seq that doesn't parse only costs the frame its seq.
  const auto seq_text = frame_attribute(frame.attributes, "seq");
  const auto seq = seq_text ? parse_u64(trim(*seq_text)) : std::nullopt;
  const bool truncated = frame_attribute(frame.attributes, "truncated") == "1";
  return IoFrame{seq, std::move(*kind), unescape_body(frame.body), truncated};
}

std::optional<ShellCommandFrame> read_shell_command_frame(const EventFrame& frame) {
  if (!has_type(frame, "shell_command")) return std::nullopt;
  auto op = frame_attribute(frame.attributes, "op");
  if (!op) return std::nullopt;
  return ShellCommandFrame{std::move(*op), frame.body};
}

std::optional<BoundaryFrame> parse_boundary_frame(std::string_view line, const FrameKey& key) {
  const auto frame = open_signed_frame(line, key);
  return frame ? read_boundary_frame(*frame) : std::nullopt;
}

std::optional<IoFrame> parse_io_frame(std::string_view line, const FrameKey& key) {
  const auto frame = open_signed_frame(line, key);
  return frame ? read_io_frame(*frame) : std::nullopt;
}

std::optional<ShellCommandFrame> parse_shell_command_frame(std::string_view line,
                                                           const FrameKey& key) {
  const auto frame = open_signed_frame(line, key);
  return frame ? read_shell_command_frame(*frame) : std::nullopt;
}

}  // namespace kelvo
