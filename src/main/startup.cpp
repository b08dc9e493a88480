#include "main/startup.hpp"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "common/text.hpp"
#include "common/utf8.hpp"
#include "main/host_cli.hpp"

namespace kelvo {
namespace {

std::optional<std::string> first_of(std::optional<std::string> preferred,
                                    std::optional<std::string> fallback) {
  return preferred ? std::move(preferred) : std::move(fallback);
}

}  // namespace

std::optional<std::string> find_option(const std::vector<std::string>& args,
                                       std::string_view name) {
  const auto found = std::find(args.begin(), args.end(), name);
  if (found == args.end() || std::next(found) == args.end()) return std::nullopt;
  return *std::next(found);
}

std::variant<std::string, StartupStop> require_option(const std::vector<std::string>& args,
                                                      std::string_view name) {
  if (auto value = find_option(args, name)) return std::move(*value);
  return StartupStop{2, fill("{} required", {name})};
}

std::string resolve_host_program(const std::vector<std::string>& args,
                                 const std::optional<std::string>& qrn_bin) {
  return find_option(args, "--qrn").value_or(qrn_bin.value_or("qrn"));
}

std::variant<CommandLine, StartupStop> read_command_line(
    const std::vector<std::string>& args, const std::optional<std::string>& qrn_bin) {
  auto link = require_option(args, "--link");
  if (auto* stop = std::get_if<StartupStop>(&link)) return std::move(*stop);
  CommandLine command_line;
  command_line.link = std::move(std::get<std::string>(link));
  command_line.host_program = resolve_host_program(args, qrn_bin);
  command_line.owner = find_option(args, "--owner");
  command_line.shell_id = find_option(args, "--id");
  if (auto state_dir = find_option(args, "--state-dir")) command_line.state_dir = *state_dir;
  return command_line;
}

std::optional<std::string> read_qrn_bin() {
  const char* qrn_bin = std::getenv("QRN_BIN");
  if (qrn_bin == nullptr || !is_valid_utf8(qrn_bin)) return std::nullopt;
  return qrn_bin;
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
  const auto bound = bind_shell(host, command_line.link);
  if (!bound) return StartupStop{1, fill("api bind-shell failed: {}", {bound.failure().reason})};
  BindReply reply = read_bind_reply(*bound);
  StartupSettings settings;
  settings.link = command_line.link;
  settings.host_program = command_line.host_program;
  settings.owner = first_of(command_line.owner, std::move(reply.owner));
  settings.shell_id = first_of(command_line.shell_id, std::move(reply.shell_id));
  settings.state_dir = command_line.state_dir ? command_line.state_dir : working_directory();
  return settings;
}

}  // namespace kelvo
