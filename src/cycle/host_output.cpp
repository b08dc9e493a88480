#include "cycle/host_output.hpp"

#include <algorithm>

#include "common/text.hpp"
#include "common/utf8.hpp"

namespace kelvo {

namespace {

constexpr std::string_view kNotHeld = "no instance holds this link token";
constexpr std::string_view kRevoked = "the link was revoked";
constexpr std::string_view kBoundTo = "the link is bound to shell ";

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

EndCause refusal_cause(const HostOutput& poll_output, std::string* new_holder) {
  for (const std::string_view line : split_lines(poll_output.err)) {
    if (!is_refusal_line(line)) continue;
    const std::string_view rest = line.substr(line.find(kNotHeld) + kNotHeld.size());
    if (rest.find(kRevoked) != std::string_view::npos) return EndCause::Revoked;
    if (const auto at = rest.find(kBoundTo); at != std::string_view::npos) {
      const auto words = split_whitespace(rest.substr(at + kBoundTo.size()));
      if (words.empty()) continue;
      if (new_holder) *new_holder = cut_at_character(words.front(), 64);
      return EndCause::TakenOver;
    }
  }
  return EndCause::Superseded;
}

}  // namespace kelvo
