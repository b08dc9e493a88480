#include "main/host_cli.hpp"

#include <algorithm>

#include "common/text.hpp"
#include "common/utf8.hpp"

namespace kelvo {
namespace {

constexpr std::string_view kBoundPrefix = "BOUND_SHELL:";
constexpr std::string_view kOwnerPrefix = "owner=";

HostArgs api_args(std::string_view call, std::string_view shell_id, std::string_view link) {
  return {"api",    "--adapter",      "KELVO", std::string(call), std::string(shell_id),
          "--link", std::string(link)};
}

constexpr std::string_view kBlottedLink = "[link token]";

// Host output inside one console line: the token blotted out, cut, quoted, with line breaks and
// other controls escaped so nothing the host printed can break the line or drive the terminal.
std::string console_quoted(std::string_view raw, std::string_view link) {
  const std::string blotted =
      link.empty() ? std::string(raw) : replace_all(raw, link, kBlottedLink);
  return "\"" + escape_controls(cut_at_character(blotted, CHILD_ERROR_TEXT_MAX), "\"") + "\"";
}

std::string cannot_start(const HostRunner& runner, const SpawnFailed& failed) {
  return "cannot start " + console_quoted(runner.program(), {}) + ": " +
         describe_errno(failed.error);
}

// The bind's failure: both outputs, since it is the only word a failed start-up gives.
std::string failure_reason(const HostRunner& runner, const ProcessResult& result,
                           std::string_view link) {
  if (const auto* failed = std::get_if<SpawnFailed>(&result.status)) {
    return cannot_start(runner, *failed);
  }
  return describe_status(result.status) + "; stdout " + console_quoted(result.out, link) +
         "; stderr " + console_quoted(result.err, link);
}

// A later call's failure in one short piece: how it ended and its first line of error.
std::string short_failure(const HostRunner& runner, const ProcessResult& result,
                          std::string_view link) {
  if (const auto* failed = std::get_if<SpawnFailed>(&result.status)) {
    return cannot_start(runner, *failed);
  }
  const std::string first = first_error_line(result.err);
  if (first.empty()) return describe_status(result.status);
  return describe_status(result.status) + "; stderr " + console_quoted(first, link);
}

}  // namespace

HostArgs bind_args(std::string_view link) {
  return {"api", "--adapter", "KELVO", "bind-shell", "--link", std::string(link)};
}

HostArgs poll_args(std::string_view shell_id, std::string_view link) {
  return api_args("poll", shell_id, link);
}

HostArgs drive_poll_args(std::string_view shell_id, std::string_view link) {
  return api_args("drive-poll", shell_id, link);
}

HostArgs digest_args(std::string_view owner) {
  return {"endpoint", "digest", std::string(owner), "--last", "12", "--json"};
}

std::string host_call_name(const HostArgs& args) {
  if (args.size() > 3 && args[0] == "api") return args[3] == "bind-shell" ? "bind" : args[3];
  if (args.size() > 1 && args[0] == "endpoint") return args[1];
  return args.empty() ? std::string("host call") : args[0];
}

HostArgs send_args(std::string_view owner, SendFlags flags,
                   std::optional<std::string_view> sender) {
  HostArgs args{"send"};
  switch (flags) {
    case SendFlags::ActiveOnly:
      args.push_back("--active-only");
      break;
    case SendFlags::IdleEphemeral:
      args.push_back("--idle-only");
      args.push_back("--ephemeral");
      break;
  }
  if (sender) {
    args.push_back("--from");
    args.emplace_back(*sender);
  }
  args.emplace_back(owner);
  return args;
}

HostOutput run_host(HostRunner& runner, const HostArgs& args, std::string_view link) {
  const ProcessResult result = runner.run(args);
  if (exited_zero(result.status)) return {decode_utf8_lossy(result.out), {}, std::nullopt};
  const std::string err =
      std::holds_alternative<SpawnFailed>(result.status) ? "" : decode_utf8_lossy(result.err);
  return {{}, err, short_failure(runner, result, link)};
}

Result<std::string> bind_shell(HostRunner& runner, std::string_view link) {
  const ProcessResult result = runner.run(bind_args(link));
  if (!exited_zero(result.status)) return Failure{failure_reason(runner, result, link)};
  return decode_utf8_lossy(result.out);
}

BindReply read_bind_reply(std::string_view bind_output) {
  const auto lines = split_lines(bind_output);
  const auto bound = std::find_if(lines.begin(), lines.end(), [](std::string_view line) {
    return trim(line).starts_with(kBoundPrefix);
  });
  if (bound == lines.end()) return {};
  const std::vector<std::string_view> tokens =
      split_whitespace(trim(trim(*bound).substr(kBoundPrefix.size())));
  BindReply reply;
  if (!tokens.empty()) reply.shell_id = std::string(tokens.front());
  const auto owner = std::find_if(tokens.begin(), tokens.end(), [](std::string_view token) {
    return token.starts_with(kOwnerPrefix);
  });
  if (owner != tokens.end()) reply.owner = std::string(owner->substr(kOwnerPrefix.size()));
  return reply;
}

HostOutput poll(HostRunner& runner, std::string_view shell_id, std::string_view link) {
  return run_host(runner, poll_args(shell_id, link), link);
}

HostOutput drive_poll(HostRunner& runner, std::string_view shell_id, std::string_view link) {
  return run_host(runner, drive_poll_args(shell_id, link), link);
}

std::string fetch_digest(HostRunner& runner, std::string_view owner) {
  return run_host(runner, digest_args(owner)).out;
}

ProcessStatus send(HostRunner& runner, std::string_view owner, const Message& message) {
  std::optional<std::string_view> from;
  if (message.from) from = *message.from;
  return runner.send_input(send_args(owner, message.flags, from), message.text);
}

}  // namespace kelvo
