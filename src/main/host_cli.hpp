#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.hpp"
#include "main/host_runner.hpp"

namespace kelvo {

// The host's argument lists. Order and text are a wire format; each entry is one argument.
using HostArgs = std::vector<std::string>;

HostArgs bind_args(std::string_view link);
HostArgs poll_args(std::string_view shell_id, std::string_view link);
HostArgs drive_poll_args(std::string_view shell_id, std::string_view link);
HostArgs digest_args(std::string_view owner);

// Which call an argument list makes, for messages: bind, poll, drive-poll, digest or send.
std::string host_call_name(const HostArgs& args);

// The two flag sets messages go out with.
enum class SendFlags {
  ActiveOnly,     // "--active-only": intro, command replies, board message
  IdleEphemeral,  // "--idle-only", "--ephemeral": nudge
};

// "send", the flags, "--from" and the sender when there is one, the owner last.
HostArgs send_args(std::string_view owner, SendFlags flags, std::optional<std::string_view> sender);

// What a call printed, as UTF-8 text (invalid bytes become U+FFFD). A child that exited 0
// gives only its standard output, any other ending only its standard error, and one that
// could not start gives neither: a start failure looks like a silent call.
struct HostOutput {
  std::string out;
  std::string err;
  // Why the call did not exit 0, for a person: how it ended and the first line of its standard
  // error, or why it could not start. Absent when it exited 0.
  std::optional<std::string> failure;
};

HostOutput run_host(HostRunner& runner, const HostArgs& args);

// The bind's standard output text, or why it failed, for a person: the system error of a failed
// start, or the exit status (or signal) with the captured outputs. The reason never contains the
// link token of its own accord.
Result<std::string> bind_shell(HostRunner& runner, std::string_view link);

struct BindReply {
  std::optional<std::string> owner;
  std::optional<std::string> shell_id;
};

// Reads the first "BOUND_SHELL:" line: its first token is the shell id, the rest of its first
// "owner=" token the owner. Either may be absent; without such a line both are.
BindReply read_bind_reply(std::string_view bind_output);

// Both texts of the poll: signed frame lines, and the error text that may refuse the poll.
HostOutput poll(HostRunner& runner, std::string_view shell_id, std::string_view link);

// A trimmed line that begins with "AUTH_REFUSED:" or "DRIVE_POLL_REFUSED:" and says
// "no instance holds this link token" anywhere.
bool is_refusal_line(std::string_view line);

// A poll (or drive-poll) is refused when any line of its error text is a refusal line.
bool is_refused(const HostOutput& poll_output);

// drive-poll's output: activity frames on standard output, empty when the call failed.
HostOutput drive_poll(HostRunner& runner, std::string_view shell_id, std::string_view link);

// The digest JSON of the owner's last turns, empty when the call failed.
std::string fetch_digest(HostRunner& runner, std::string_view owner);

// Writes `message` to the host's send call exactly as given. A send that cannot start is
// reported on standard error and the message is lost; nothing else about it is looked at.
void send(HostRunner& runner, std::string_view owner, SendFlags flags,
          std::optional<std::string_view> sender, std::string_view message);

// A message with "--active-only" to the owner, from the shell id when known; dropped silently
// when there is no owner.
void reply(HostRunner& runner, std::optional<std::string_view> owner,
           std::optional<std::string_view> shell_id, std::string_view text);

}  // namespace kelvo
