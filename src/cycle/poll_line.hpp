#pragma once

#include <string_view>
#include <variant>

#include "frame/event_frame.hpp"
#include "frame/shell_command.hpp"

namespace kelvo {

// A verified boundary frame; its kind is not used.
struct BoundaryLine {
  bool operator==(const BoundaryLine&) const = default;
};

// A line that mentions type="boundary" but is no verified boundary frame.
struct RefusedBoundaryLine {
  bool operator==(const RefusedBoundaryLine&) const = default;
};

// Anything else: no frame the loop acts on.
struct IgnoredLine {
  bool operator==(const IgnoredLine&) const = default;
};

using PollLine =
    std::variant<IgnoredLine, BoundaryLine, RefusedBoundaryLine, IoFrame, ShellCommand>;

// Offers one poll line to the parsers in the loop's fixed order (boundary, the rejected-boundary
// test, io, shell command); the first that takes it wins. Each parser verifies the line itself.
PollLine sort_poll_line(std::string_view line, std::string_view link);

}  // namespace kelvo
