#pragma once

#include <string_view>
#include <variant>

#include "frame/event_frame.hpp"
#include "frame/frame_mac.hpp"
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

// Checks the line's MAC once, then offers the frame to the readers in the loop's fixed order
// (boundary, the rejected-boundary test on the raw line, io, shell command); the first that takes
// it wins.
PollLine sort_poll_line(std::string_view line, const FrameKey& key);

}  // namespace kelvo
