#include "cycle/poll_line.hpp"

#include <utility>

namespace kelvo {

PollLine sort_poll_line(std::string_view line, const FrameKey& key) {
  const auto frame = open_signed_frame(line, key);
  if (frame && read_boundary_frame(*frame)) return BoundaryLine{};
  // A line that mentions a boundary but is no verified one counts as refused, whatever it holds.
  if (line.find("type=\"boundary\"") != std::string_view::npos) return RefusedBoundaryLine{};
  if (!frame) return IgnoredLine{};
  if (auto io = read_io_frame(*frame)) return std::move(*io);
  if (auto command = read_shell_command(*frame)) return std::move(*command);
  return IgnoredLine{};
}

}  // namespace kelvo
