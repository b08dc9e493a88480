#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/time.hpp"
#include "cycle/shell_context.hpp"
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
  RuntimeFile(const std::filesystem::path& dir, std::string_view owner, std::int32_t pid);

  std::optional<std::string> update(const ShellContext& context, WallTime now);

  // The last word: how the run ended, with the line it printed and its exit code. Not over a
  // file that another shell of the owner wrote meanwhile: the one that took the link over.
  std::optional<std::string> end(const ShellContext& context, WallTime now, std::string reason,
                                 int exit_code);

 private:
  std::optional<std::string> write(RuntimeStatus status, WallTime now);

  std::filesystem::path path_;
  std::int32_t pid_;
  std::optional<RuntimeStatus> written_;
  std::optional<WallTime> last_failure_reported_;
};

}  // namespace kelvo
