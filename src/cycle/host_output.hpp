#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cycle/shell_event.hpp"

namespace kelvo {

// What a host call printed, as UTF-8 text (invalid bytes become U+FFFD). A child that exited 0
// gives only its standard output, any other ending only its standard error, and one that could
// not start gives neither: a start failure looks like a silent call.
struct HostOutput {
  std::string out;
  std::string err;
  // Why the call did not exit 0, for a person: how it ended and the first line of its standard
  // error, or why it could not start. Absent when it exited 0.
  std::optional<std::string> failure;
};

// A trimmed line that begins with "AUTH_REFUSED:" or "DRIVE_POLL_REFUSED:" and says
// "no instance holds this link token" anywhere.
bool is_refusal_line(std::string_view line);

// A poll (or drive-poll) is refused when any line of its error text is a refusal line.
bool is_refused(const HostOutput& poll_output);

// Why a refused poll's link was refused, as far as the host says after the refusal sentence:
// "…: the link was revoked", "…: the link is bound to shell KELVO-1" (then `new_holder` gets the
// id, as the host wrote it), or nothing more.
EndCause refusal_cause(const HostOutput& poll_output, std::string* new_holder);

}  // namespace kelvo
