#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "digest/designator.hpp"
#include "frame/event_frame.hpp"
#include "frame/frame_mac.hpp"

namespace kelvo {

// "pause" (no minutes) and "delay" (with minutes).
struct PauseCommand {
  std::optional<std::uint32_t> minutes;

  bool operator==(const PauseCommand&) const = default;
};

struct ClassifyCommand {
  Designator designator;
  std::string class_name;

  bool operator==(const ClassifyCommand&) const = default;
};

struct StatusCommand {
  bool operator==(const StatusCommand&) const = default;
};

// At least one name; the names are not checked against the class-name rule.
struct RetireCommand {
  std::vector<std::string> names;

  bool operator==(const RetireCommand&) const = default;
};

// A command the shell will not carry out: `op` as received, `message` the reason.
struct RefusedCommand {
  std::string op;
  std::string message;

  bool operator==(const RefusedCommand&) const = default;
};

using ShellCommand =
    std::variant<PauseCommand, ClassifyCommand, StatusCommand, RetireCommand, RefusedCommand>;

// A signed shell_command poll line as a command; nothing when the line is no such frame.
std::optional<ShellCommand> read_shell_command(std::string_view line, const FrameKey& key);
// The same for a frame that open_signed_frame gave.
std::optional<ShellCommand> read_shell_command(const EventFrame& frame);

// The op and its unescaped JSON body as a command or a refusal.
ShellCommand parse_shell_command(std::string_view op, std::string_view body);

// What the operator is told: "⟳ **kelvo** refused <op>: <message>".
std::string refusal_text(std::string_view op, std::string_view message);

}  // namespace kelvo
