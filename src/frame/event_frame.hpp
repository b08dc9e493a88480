#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/activity.hpp"
#include "frame/frame_mac.hpp"

namespace kelvo {

// One <EVENT ...>...</EVENT> element, both parts still escaped. `attributes` is the raw text
// between "<EVENT" and the first ">" (it begins with the space before the first attribute).
struct EventFrame {
  std::string attributes;
  std::string body;

  bool operator==(const EventFrame&) const = default;
};

// type="activity", unsigned, from drive-poll: the endpoint's state and when it entered it.
using ActivityFrame = ActivityReport;

// type="boundary": a break in the link's conversation, after which the shell introduces itself
// again. It must name a kind, but every kind is treated alike, so none is kept.
struct BoundaryFrame {
  bool operator==(const BoundaryFrame&) const = default;
};

// type="io": one message on the link; `text` is the body unescaped.
struct IoFrame {
  std::optional<std::uint64_t> seq;
  std::string kind;
  std::string text;
  bool truncated = false;

  bool operator==(const IoFrame&) const = default;
};

// type="shell_command": an operator command; `body` is still escaped JSON.
struct ShellCommandFrame {
  std::string op;
  std::string body;

  bool operator==(const ShellCommandFrame&) const = default;
};

// Every parser below is total and pure: anything malformed, foreign or forged gives nothing.

// The tag parse of an already trimmed frame text.
std::optional<EventFrame> parse_event_tag(std::string_view frame_text);

// A poll line "<hex MAC> <frame text>": the MAC is checked before anything of the frame is read.
std::optional<EventFrame> open_signed_frame(std::string_view line, const FrameKey& key);

// The unescaped value of the first ` name="..."` in the attribute text.
std::optional<std::string> frame_attribute(std::string_view attributes, std::string_view name);

std::optional<ActivityFrame> parse_activity_frame(std::string_view line);

// The typed readers of a frame that open_signed_frame gave: nothing unless the frame's `type` is
// theirs and it has what that type needs.
std::optional<BoundaryFrame> read_boundary_frame(const EventFrame& frame);
std::optional<IoFrame> read_io_frame(const EventFrame& frame);
std::optional<ShellCommandFrame> read_shell_command_frame(const EventFrame& frame);

// A poll line opened and read by one typed reader.
std::optional<BoundaryFrame> parse_boundary_frame(std::string_view line, const FrameKey& key);
std::optional<IoFrame> parse_io_frame(std::string_view line, const FrameKey& key);
std::optional<ShellCommandFrame> parse_shell_command_frame(std::string_view line,
                                                           const FrameKey& key);

}  // namespace kelvo
