#include "main/startup.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "common/text.hpp"
#include "common/utf8.hpp"
#include "common/version.hpp"
#include "main/host_cli.hpp"

namespace kelvo {
namespace {

constexpr std::array<std::string_view, 9> kOptions = {
    "--link",     "--link-file",          "--qrn",        "--owner", "--id", "--state-dir",
    "--on-event", "--unresponsive-after", "--runtime-dir"};

std::optional<std::string> first_of(std::optional<std::string> preferred,
                                    std::optional<std::string> fallback) {
  return preferred ? std::move(preferred) : std::move(fallback);
}

// The positions that hold an option's value, as find_option reads them.
std::vector<bool> value_positions(const std::vector<std::string>& args) {
  std::vector<bool> is_value(args.size(), false);
  for (const std::string_view name : kOptions) {
    const auto found = std::find(args.begin(), args.end(), name);
    if (found != args.end() && std::next(found) != args.end()) {
      is_value[static_cast<std::size_t>(std::next(found) - args.begin())] = true;
    }
  }
  return is_value;
}

// The answer to the first --help or --version that is not an option's value.
std::optional<StartupStop> answer_request(const std::vector<std::string>& args) {
  const std::vector<bool> is_value = value_positions(args);
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (is_value[i]) continue;
    if (args[i] == "--help") return StartupStop{0, usage_text(), true};
    if (args[i] == "--version") {
      return StartupStop{0, "kelvo-shell " + std::string(PROGRAM_VERSION) + "\n", true};
    }
  }
  return std::nullopt;
}

// A file among the unit's credentials: systemd gives the unit's user access to them through an
// ACL, whose mask shows as the group's bits, so their mode tells nothing of other users.
bool is_credential(const std::filesystem::path& file,
                   const std::optional<std::filesystem::path>& credentials_dir) {
  if (!credentials_dir || credentials_dir->empty()) return false;
  return file.lexically_normal().parent_path() ==
         (*credentials_dir / "x").lexically_normal().parent_path();
}

// A token that users other than the file's owner may read, or replace.
std::optional<StartupNotice> exposure_warning(const std::string& path, unsigned mode,
                                              const StartupVariables& variables) {
  if ((mode & 077u) == 0 || is_credential(path, variables.credentials_dir)) return std::nullopt;
  char octal[12];  // room for any unsigned, though a mode takes four digits
  std::snprintf(octal, sizeof octal, "%04o", mode);
  const std::string shown = escape_controls(path);
  return StartupNotice{Urgency::Warning,
                       fill("--link-file {} has mode {}, open to users other than its owner: "
                            "chmod 600 {}",
                            {shown, octal, shown})};
}

// The token of the --link-file at `path`: its one line without the trailing white space, and
// the warning its mode draws.
std::variant<std::string, StartupStop> read_link_token(const std::string& path,
                                                       const ReadLinkFile& read_link_file,
                                                       const StartupVariables& variables,
                                                       std::optional<StartupNotice>& warning) {
  const std::string shown = escape_controls(path);
  const Result<FileWithMode> file = read_link_file(path);
  if (!file)
    return StartupStop{2, fill("cannot read --link-file {}: {}", {shown, file.failure().reason})};
  const std::string_view token = trim_end(file->bytes);
  if (token.empty()) return StartupStop{2, fill("--link-file {} is empty", {shown})};
  if (token.find('\n') != std::string_view::npos) {
    return StartupStop{2, fill("--link-file {} holds more than one line", {shown})};
  }
  warning = exposure_warning(path, file->mode, variables);
  return std::string(token);
}

}  // namespace

std::optional<std::string> find_option(const std::vector<std::string>& args,
                                       std::string_view name) {
  const auto found = std::find(args.begin(), args.end(), name);
  if (found == args.end() || std::next(found) == args.end()) return std::nullopt;
  return *std::next(found);
}

std::string resolve_host_program(const std::vector<std::string>& args,
                                 const std::optional<std::string>& qrn_bin) {
  return find_option(args, "--qrn").value_or(qrn_bin.value_or("qrn"));
}

std::string usage_text() {
  return "usage: kelvo-shell --link <token> | --link-file <path>\n"
         "                   [--qrn <host>] [--owner <owner>] [--id <shell-id>]\n"
         "                   [--state-dir <dir>] [--on-event <program>]\n"
         "                   [--unresponsive-after <n>] [--runtime-dir <dir>]\n"
         "Paces one AI agent endpoint for the qrn host: binds as the shell of one link, follows\n"
         "the endpoint's activity and nudges an agent that has stayed idle.\n"
         "\n"
         "  --link <token>     the link token the host issued for this shell\n"
         "  --link-file <path> a file whose one line is the token, which then stays off the\n"
         "                     command line (--link, when given too, wins)\n"
         "  --qrn <host>       the host program (default: $QRN_BIN, else qrn on PATH)\n"
         "  --owner <owner>    the endpoint to pace (default: the owner in the bind reply)\n"
         "  --id <shell-id>    the shell id to poll as (default: the one in the bind reply)\n"
         "  --state-dir <dir>  the folder of state/<owner>.json (default: the working directory)\n"
         "  --on-event <program>  run <program> <event> for what a person should hear of\n"
         "  --unresponsive-after <n>  tell `unresponsive` after the nth nudge of an idle\n"
         "                     stretch (default 4; 0: never)\n"
         "  --runtime-dir <dir>  keep <dir>/<owner>.json telling how this shell is doing\n"
         "  --help, --version  print this text or the version, and exit\n"
         "\n"
         "See kelvo-shell(1).\n";
}

std::variant<CommandLine, StartupStop> read_command_line(const std::vector<std::string>& args,
                                                         const StartupVariables& variables,
                                                         const ReadLinkFile& read_link_file) {
  if (auto answer = answer_request(args)) return std::move(*answer);
  CommandLine command_line;
  StartupSettings& given = command_line.given;
  const std::optional<std::string> link_file = find_option(args, "--link-file");
  const std::optional<std::string> link = find_option(args, "--link");
  if (link && !link->empty()) {
    given.link = *link;
    if (link_file) {
      command_line.notice = {Urgency::Notice,
                             fill("both --link and --link-file given: using --link, not reading {}",
                                  {escape_controls(*link_file)})};
    }
  } else if (link_file) {
    auto token = read_link_token(*link_file, read_link_file, variables, command_line.notice);
    if (auto* stop = std::get_if<StartupStop>(&token)) return std::move(*stop);
    given.link = std::move(std::get<std::string>(token));
  } else {
    return StartupStop{2, "--link required"};
  }
  command_line.host_program = resolve_host_program(args, variables.qrn_bin);
  given.owner = find_option(args, "--owner");
  given.shell_id = find_option(args, "--id");
  if (auto state_dir = find_option(args, "--state-dir")) given.state_dir = *state_dir;
  // Empty values stand for absent ones, as a unit's unset variable gives them.
  if (auto hook = find_option(args, "--on-event"); hook && !hook->empty()) given.on_event = *hook;
  if (auto dir = find_option(args, "--runtime-dir"); dir && !dir->empty()) given.runtime_dir = *dir;
  if (auto after = find_option(args, "--unresponsive-after")) {
    const auto count = parse_u32(*after);
    if (!count) {
      return StartupStop{2, fill("--unresponsive-after needs a whole number of nudges (0 for "
                                 "never), not \"{}\"",
                                 {escape_controls(*after)})};
    }
    given.unresponsive_after = *count;
  }
  return command_line;
}

StartupVariables read_startup_variables() {
  StartupVariables variables;
  const char* qrn_bin = std::getenv("QRN_BIN");
  if (qrn_bin != nullptr && is_valid_utf8(qrn_bin)) variables.qrn_bin = qrn_bin;
  if (const char* credentials = std::getenv("CREDENTIALS_DIRECTORY")) {
    variables.credentials_dir = credentials;
  }
  return variables;
}

std::optional<std::filesystem::path> current_directory() {
  std::error_code error;
  std::filesystem::path cwd = std::filesystem::current_path(error);
  if (error) return std::nullopt;
  return cwd;
}

std::variant<StartupSettings, StartupStop> bind_and_settle(
    const CommandLine& command_line, HostRunner& host,
    const std::function<std::optional<std::filesystem::path>()>& working_directory) {
  const StartupSettings& given = command_line.given;
  const auto bound = bind_shell(host, given.link);
  if (!bound) return StartupStop{1, fill("api bind-shell failed: {}", {bound.failure().reason})};
  BindReply reply = read_bind_reply(*bound);
  StartupSettings settings;
  settings.link = given.link;
  settings.owner = first_of(given.owner, std::move(reply.owner));
  settings.shell_id = first_of(given.shell_id, std::move(reply.shell_id));
  settings.state_dir = given.state_dir ? given.state_dir : working_directory();
  settings.on_event = given.on_event;
  settings.unresponsive_after = given.unresponsive_after;
  settings.runtime_dir = given.runtime_dir;
  return settings;
}

}  // namespace kelvo
