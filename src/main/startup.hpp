#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
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
  std::optional<std::string> owner;
  std::optional<std::string> shell_id;
  std::optional<std::filesystem::path> state_dir;
  std::optional<std::string> on_event{};               // --on-event: the event hook program
  std::uint32_t unresponsive_after = 4;                // --unresponsive-after; 0: never
  std::optional<std::filesystem::path> runtime_dir{};  // --runtime-dir
};

// What the command line and the environment say, before anything has run: the host program to
// run, and the settings as far as the options give them.
struct CommandLine {
  std::string host_program;
  StartupSettings given;
};

// Start-up ends the run before the loop: `message` is reported on standard error (without the
// "kelvo-shell: " prefix), or, when it answers --help or --version, printed on standard output.
struct StartupStop {
  int exit_code;
  std::string message;
  bool answer = false;
};

// What --help prints.
std::string usage_text();

// The value after the first argument equal to `name`, whatever it is; absent when the name
// is missing or only the last argument.
std::optional<std::string> find_option(const std::vector<std::string>& args, std::string_view name);

// find_option's value, or the stop with "<name> required" and exit code 2.
std::variant<std::string, StartupStop> require_option(const std::vector<std::string>& args,
                                                      std::string_view name);

// --qrn, else QRN_BIN, else "qrn".
std::string resolve_host_program(const std::vector<std::string>& args,
                                 const std::optional<std::string>& qrn_bin);

// Reads the arguments after the program name; `qrn_bin` is QRN_BIN when set (even empty) and
// valid UTF-8. Answers --help and --version (where they are not an option's value) before
// anything else; then stops without a link.
std::variant<CommandLine, StartupStop> read_command_line(const std::vector<std::string>& args,
                                                         const std::optional<std::string>& qrn_bin);

// QRN_BIN as read_command_line takes it.
std::optional<std::string> read_qrn_bin();

// The working directory, when it can be found.
std::optional<std::filesystem::path> current_directory();

// The bind and what follows from it: owner and shell id (options over the bind reply), then the
// state directory (--state-dir, else the working directory as it is after the bind).
std::variant<StartupSettings, StartupStop> bind_and_settle(
    const CommandLine& command_line, HostRunner& host,
    const std::function<std::optional<std::filesystem::path>()>& working_directory);

}  // namespace kelvo
