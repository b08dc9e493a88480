#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/report_throttle.hpp"
#include "common/time.hpp"
#include "cycle/shell_state.hpp"
#include "runtime/runtime_status.hpp"

namespace kelvo {

// A write that keeps failing is reported at most this often.
inline constexpr Millis RUNTIME_FAILURE_REPORT_EVERY{600'000};

// The shell's runtime status file, `<dir>/<owner>.json`, kept while it runs: replaced whole when
// what it says changes (the time of the update aside) and at least once a minute. Each call gives
// the line to report when the write failed, at most one every 10 minutes while failures go on; a
// failed write is tried again at the next call.
class RuntimeFile {
 public:
  // `has_hook`: the run tells its events to a hook, whose failures the file then counts.
  RuntimeFile(const std::filesystem::path& dir, std::string_view owner, bool has_hook);

  std::optional<std::string> update(const RunSettings& run, const ShellState& state, WallTime now);

  // The last word, once the state says how the run ended. Not over a file that another shell of
  // the owner wrote meanwhile: the one that took the link over.
  std::optional<std::string> end(const RunSettings& run, const ShellState& state, WallTime now);

 private:
  std::optional<std::string> write(RuntimeStatus status, WallTime now);

  std::filesystem::path path_;
  bool has_hook_;
  std::optional<RuntimeStatus> written_;
  ReportThrottle failure_lines_;
};

}  // namespace kelvo
