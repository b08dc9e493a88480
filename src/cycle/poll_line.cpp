#include "cycle/poll_line.hpp"

#include <utility>

namespace kelvo {

PollLine sort_poll_line(std::string_view line, std::string_view link) {
  if (parse_boundary_frame(line, link)) return BoundaryLine{};
  if (line.find("type=\"boundary\"") != std::string_view::npos) return RefusedBoundaryLine{};
  if (auto io = parse_io_frame(line, link)) return std::move(*io);
  if (auto command = read_shell_command(line, link)) return std::move(*command);
  return IgnoredLine{};
}

}  // namespace kelvo
