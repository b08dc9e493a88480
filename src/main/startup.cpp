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

StartupEnvironment read_startup_environment() {
  StartupEnvironment environment;
  const char* qrn_bin = std::getenv("QRN_BIN");
  if (qrn_bin != nullptr && is_valid_utf8(qrn_bin)) environment.qrn_bin = qrn_bin;
  std::error_code error;
  std::filesystem::path cwd = std::filesystem::current_path(error);
  if (!error) environment.cwd = std::move(cwd);
  return environment;
}

std::string resolve_host_program(const std::vector<std::string>& args,
                                 const std::optional<std::string>& qrn_bin) {
  return find_option(args, "--qrn").value_or(qrn_bin.value_or("qrn"));
}

std::variant<StartupSettings, StartupStop> start_up(const std::vector<std::string>& args,
                                                    const StartupEnvironment& environment,
                                                    const HostRunnerFactory& make_runner) {
  auto link = require_option(args, "--link");
  if (auto* stop = std::get_if<StartupStop>(&link)) return std::move(*stop);
  StartupSettings settings;
  settings.link = std::move(std::get<std::string>(link));
  settings.host_program = resolve_host_program(args, environment.qrn_bin);

  const std::unique_ptr<HostRunner> runner = make_runner(settings.host_program);
  const auto bound = bind_shell(*runner, settings.link);
  if (const auto* failure = std::get_if<BindFailure>(&bound)) {
    return StartupStop{1, fill("api bind-shell failed: {}", {failure->reason})};
  }
  BindReply reply = read_bind_reply(std::get<std::string>(bound));
  settings.owner = first_of(find_option(args, "--owner"), std::move(reply.owner));
  settings.shell_id = first_of(find_option(args, "--id"), std::move(reply.shell_id));

  if (auto state_dir = find_option(args, "--state-dir")) {
    settings.state_dir = std::filesystem::path(*state_dir);
  } else {
    settings.state_dir = environment.cwd;
  }
  return settings;
}

}  // namespace kelvo
