#include "main/runtime_file.hpp"

#include <system_error>
#include <utility>

#include "common/files.hpp"
#include "common/text.hpp"
#include "cycle/runtime_view.hpp"

namespace kelvo {

RuntimeFile::RuntimeFile(const std::filesystem::path& dir, std::string_view owner, std::int32_t pid)
    : path_(runtime_status_path(dir, owner)), pid_(pid) {}

std::optional<std::string> RuntimeFile::update(const ShellContext& context, WallTime now) {
  RuntimeStatus status = runtime_status_of(context, pid_, now);
  if (!runtime_status_due(written_ ? &*written_ : nullptr, status)) return std::nullopt;
  return write(std::move(status), now);
}

std::optional<std::string> RuntimeFile::end(const ShellContext& context, WallTime now,
                                            std::string reason, int exit_code) {
  if (const auto text = read_whole_file(path_)) {
    const auto current = decode_runtime_status(*text);
    if (current && current->pid != pid_) return std::nullopt;
  }
  RuntimeStatus status = runtime_status_of(context, pid_, now);
  status.ended = RuntimeEnd{std::move(reason), exit_code, now, std::nullopt};
  return write(std::move(status), now);
}

std::optional<std::string> RuntimeFile::write(RuntimeStatus status, WallTime now) {
  // The folder may be made by the service manager, or by the first write.
  std::error_code ignored;
  std::filesystem::create_directories(path_.parent_path(), ignored);
  const auto written =
      replace_file_unsynced(path_, encode_runtime_status(status), runtime_status_temporary(path_));
  if (written) {
    written_ = std::move(status);
    last_failure_reported_.reset();
    return std::nullopt;
  }
  written_.reset();
  if (last_failure_reported_ &&
      elapsed_between(*last_failure_reported_, now) < RUNTIME_FAILURE_REPORT_EVERY) {
    return std::nullopt;
  }
  last_failure_reported_ = now;
  return fill("runtime status write failed: {}: {}", {path_.string(), written.failure().reason});
}

}  // namespace kelvo
