#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.hpp"
#include "cycle/host_output.hpp"
#include "cycle/outbox.hpp"
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

// "send", the flags, "--from" and the sender when there is one, the owner last.
HostArgs send_args(std::string_view owner, SendFlags flags, std::optional<std::string_view> sender);

// What the host printed keeps to a person's view: the failure is how the call ended and the first
// line of its error output, cut to CHILD_ERROR_TEXT_MAX bytes, with the link token (`link`,
// when given) blotted out wherever the host quoted it: the text goes to the journal, the
// runtime file and the events.
HostOutput run_host(HostRunner& runner, const HostArgs& args, std::string_view link = {});

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

// drive-poll's output: activity frames on standard output, empty when the call failed.
HostOutput drive_poll(HostRunner& runner, std::string_view shell_id, std::string_view link);

// The digest JSON of the owner's last turns, empty when the call failed.
std::string fetch_digest(HostRunner& runner, std::string_view owner);

// Writes `message` to the host's send call exactly as given; gives how the call ended.
ProcessStatus send(HostRunner& runner, std::string_view owner, const Message& message);

}  // namespace kelvo
