#include "cycle/host_output.hpp"

#include <algorithm>

#include "common/text.hpp"

namespace kelvo {

namespace {

constexpr std::string_view kNotHeld = "no instance holds this link token";

}  // namespace

bool is_refusal_line(std::string_view line) {
  const std::string_view trimmed = trim(line);
  return (trimmed.starts_with("AUTH_REFUSED:") || trimmed.starts_with("DRIVE_POLL_REFUSED:")) &&
         trimmed.find(kNotHeld) != std::string_view::npos;
}

bool is_refused(const HostOutput& poll_output) {
  const auto lines = split_lines(poll_output.err);
  return std::any_of(lines.begin(), lines.end(), is_refusal_line);
}

}  // namespace kelvo
