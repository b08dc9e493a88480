#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "main/host_runner.hpp"

namespace kelvo {

// What start-up hands to the main loop; none of it changes afterwards.
struct StartupSettings {
  std::string link;
  std::string host_program;
  std::optional<std::string> owner;
  std::optional<std::string> shell_id;
  std::optional<std::filesystem::path> state_dir;
};

// Start-up gave up: report `message` (without the "kelvo-shell: " prefix) and exit.
struct StartupStop {
  int exit_code;
  std::string message;
};

// The value after the first argument equal to `name`, whatever it is; absent when the name
// is missing or only the last argument.
std::optional<std::string> find_option(const std::vector<std::string>& args, std::string_view name);

// find_option's value, or the stop with "<name> required" and exit code 2.
std::variant<std::string, StartupStop> require_option(const std::vector<std::string>& args,
                                                      std::string_view name);

// What start-up reads from its surroundings.
struct StartupEnvironment {
  std::optional<std::string> qrn_bin;        // QRN_BIN when set (even empty) and valid UTF-8
  std::optional<std::filesystem::path> cwd;  // the working directory, when it can be found
};

StartupEnvironment read_startup_environment();

// --qrn, else QRN_BIN, else "qrn".
std::string resolve_host_program(const std::vector<std::string>& args,
                                 const std::optional<std::string>& qrn_bin);

using HostRunnerFactory =
    std::function<std::unique_ptr<HostRunner>(const std::string& host_program)>;

// The start-up sequence: the link (nothing runs without it), the host program, the bind,
// owner and shell id (options over the bind reply), the state directory. `args` are the
// arguments after the program name.
std::variant<StartupSettings, StartupStop> start_up(const std::vector<std::string>& args,
                                                    const StartupEnvironment& environment,
                                                    const HostRunnerFactory& make_runner);

}  // namespace kelvo
