// kelvo-fleet: every shell of the runtime folder at a glance, and an exit status that says
// whether one of them needs a person.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/clock.hpp"
#include "common/files.hpp"
#include "common/text.hpp"
#include "common/version.hpp"
#include "fleet/fleet_cli.hpp"
#include "fleet/fleet_view.hpp"
#include "runtime/runtime_status.hpp"

namespace kelvo {
namespace {

constexpr int kNobodyNeeded = 0;
constexpr int kSomeoneNeeded = 1;
constexpr int kUsageError = 2;
constexpr int kCannotLook = 3;

void note(std::string_view message) {
  static_cast<void>(write_all(STDERR_FILENO, "kelvo-fleet: " + std::string(message) + "\n"));
}

// EPERM means a process of another user: it lives.
bool pid_alive(std::int32_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

bool colour_wanted() {
  const char* no_colour = std::getenv("NO_COLOR");
  return ::isatty(STDOUT_FILENO) == 1 && (no_colour == nullptr || *no_colour == '\0');
}

struct Folder {
  std::vector<StatusFile> files;
  std::vector<SkippedFile> skipped;
};

// Reads one status file; nothing when it went between the listing and the read (a shell that
// stopped and had its file removed).
std::optional<Result<StatusFile>> read_status_file(const std::filesystem::path& path) {
  const auto file = read_regular_file(path, kRuntimeStatusMaxBytes);
  if (!file) {
    std::error_code gone;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, gone))) return std::nullopt;
    return Failure{file.failure().reason};
  }
  auto status = decode_runtime_status(file->text);
  if (!status) return status.failure();
  return StatusFile{path.filename().string(), std::move(*status), file->modified};
}

// The status files of the folder. Temporaries and other names are passed over without a word;
// a file that is no regular file, is too large or holds no status is skipped with the reason.
Result<Folder> read_folder(const std::filesystem::path& dir) {
  Folder folder;
  std::error_code error;
  std::filesystem::directory_iterator entries(dir, error);
  if (error) return Failure{error.message()};
  for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::filesystem::path path = entries->path();
    const std::string name = path.filename().string();
    if (!is_runtime_status_file_name(name)) continue;
    auto file = read_status_file(path);
    if (!file) continue;
    if (*file) {
      folder.files.push_back(std::move(**file));
    } else {
      folder.skipped.push_back({name, file->failure().reason});
    }
  }
  if (error) return Failure{error.message()};
  return folder;
}

Result<void> put_out(const FleetOptions& options, const std::string& text) {
  if (!options.output) return write_all(STDOUT_FILENO, text);
  return replace_shared_file(*options.output, text);
}

int run(const std::vector<std::string_view>& args) {
  const char* runtime_dir_env = std::getenv("KELVO_RUNTIME_DIR");
  const auto options = parse_fleet_args(
      args, runtime_dir_env ? std::optional<std::string_view>(runtime_dir_env) : std::nullopt);
  if (!options) {
    note(options.failure().reason);
    static_cast<void>(write_all(STDERR_FILENO, fleet_usage()));
    return kUsageError;
  }
  if (options->help) return write_all(STDOUT_FILENO, fleet_usage()) ? 0 : kCannotLook;
  if (options->version) {
    return write_all(STDOUT_FILENO, "kelvo-fleet " KELVO_VERSION "\n") ? 0 : kCannotLook;
  }

  auto folder = read_folder(options->runtime_dir);
  if (!folder) {
    note(fill("cannot read {}: {}",
              {escape_controls(options->runtime_dir.string()), folder.failure().reason}));
    return kCannotLook;
  }
  const FleetView view =
      make_fleet_view(std::move(folder->files), std::move(folder->skipped), wall_now(), pid_alive);
  for (const SkippedFile& file : view.skipped) {
    note(fill("skipped {}: {}", {escape_controls(file.name), escape_controls(file.reason)}));
  }
  std::string text;
  switch (options->format) {
    case FleetFormat::Table:
      text = fleet_table(view, !options->output && colour_wanted());
      break;
    case FleetFormat::Json:
      text = fleet_json(view);
      break;
    case FleetFormat::Prometheus:
      text = fleet_exposition(view);
      break;
  }
  if (const auto written = put_out(*options, text); !written) {
    note(fill("cannot write {}: {}",
              {options->output ? escape_controls(options->output->string()) : "standard output",
               written.failure().reason}));
    return kCannotLook;
  }
  return view.needs_person() ? kSomeoneNeeded : kNobodyNeeded;
}

}  // namespace
}  // namespace kelvo

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return kelvo::run(args);
}
