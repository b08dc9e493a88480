#include "main/runtime_file.hpp"

#include <system_error>
#include <utility>

#include "common/files.hpp"
#include "common/text.hpp"
#include "cycle/runtime_view.hpp"

namespace kelvo {

RuntimeFile::RuntimeFile(const std::filesystem::path& dir, std::string_view owner, bool has_hook)
    : path_(runtime_status_path(dir, owner)), has_hook_(has_hook) {}

std::optional<std::string> RuntimeFile::update(const RunSettings& run, const ShellState& state,
                                               WallTime now) {
  RuntimeStatus status = runtime_status_of(run, state, has_hook_, now);
  if (!runtime_status_due(written_ ? &*written_ : nullptr, status)) return std::nullopt;
  return write(std::move(status), now);
}

std::optional<std::string> RuntimeFile::end(const RunSettings& run, const ShellState& state,
                                            WallTime now) {
  // Read as kelvo-fleet reads it: the folder may be one that other users can write.
  if (const auto file = read_regular_file(path_, kRuntimeStatusMaxBytes)) {
    const auto current = decode_runtime_status(file->text);
    if (current && current->pid != static_cast<std::int32_t>(run.process_id)) return std::nullopt;
  }
  return write(runtime_status_of(run, state, has_hook_, now), now);
}

std::optional<std::string> RuntimeFile::write(RuntimeStatus status, WallTime now) {
  // The folder may be made by the service manager, or by the first write.
  std::error_code ignored;
  std::filesystem::create_directories(path_.parent_path(), ignored);
  const auto written = replace_shared_file(path_, encode_runtime_status(status));
  if (written) {
    written_ = std::move(status);
    failure_lines_ = {};
    return std::nullopt;
  }
  written_.reset();
  if (!take_turn(failure_lines_, now, RUNTIME_FAILURE_REPORT_EVERY)) return std::nullopt;
  return fill("runtime status write failed: {}: {}", {path_.string(), written.failure().reason});
}

}  // namespace kelvo
