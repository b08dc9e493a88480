#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/files.hpp"
#include "common/result.hpp"
#include "common/urgency.hpp"
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

// A line to say once on standard error before the run.
struct StartupNotice {
  Urgency urgency;
  std::string text;

  bool operator==(const StartupNotice&) const = default;
};

// What the command line and the environment say, before anything has run: the host program to
// run, the settings as far as the options give them, and a notice to say once before the run.
struct CommandLine {
  std::string host_program;
  StartupSettings given;
  std::optional<StartupNotice> notice;
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

// --qrn, else QRN_BIN, else "qrn".
std::string resolve_host_program(const std::vector<std::string>& args,
                                 const std::optional<std::string>& qrn_bin);

// Reads the file --link-file names: all of it with its mode, or why it could not be read.
using ReadLinkFile = std::function<Result<FileWithMode>(const std::filesystem::path&)>;

// What read_command_line takes from the environment: QRN_BIN when set (even empty) and valid
// UTF-8, and CREDENTIALS_DIRECTORY, where systemd puts a unit's credentials, when set.
struct StartupVariables {
  std::optional<std::string> qrn_bin;
  std::optional<std::filesystem::path> credentials_dir = std::nullopt;
};

// Reads the arguments after the program name. Answers --help and --version (where they are not
// an option's value) before anything else. The token is --link's, else the one line of the
// --link-file (read with `read_link_file`, trailing white space dropped); an empty --link counts
// as none, so that a unit can pass both. Stops with exit code 2 without a token, or when the file
// cannot be read, is empty or holds more than one line. A link file that users other than its
// owner may read or write draws a warning, unless it is one of the unit's credentials.
std::variant<CommandLine, StartupStop> read_command_line(const std::vector<std::string>& args,
                                                         const StartupVariables& variables,
                                                         const ReadLinkFile& read_link_file);

// The environment as read_command_line takes it.
StartupVariables read_startup_variables();

// The working directory, when it can be found.
std::optional<std::filesystem::path> current_directory();

// The bind and what follows from it: owner and shell id (options over the bind reply), then the
// state directory (--state-dir, else the working directory as it is after the bind).
std::variant<StartupSettings, StartupStop> bind_and_settle(
    const CommandLine& command_line, HostRunner& host,
    const std::function<std::optional<std::filesystem::path>()>& working_directory);

}  // namespace kelvo
