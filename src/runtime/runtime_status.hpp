#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/activity.hpp"
#include "common/result.hpp"
#include "common/time.hpp"
#include "runtime/pacing.hpp"

namespace kelvo {

struct RuntimeHost {
  bool ok = true;
  std::optional<WallTime> failing_since;    // the first failure of the current run of them
  std::optional<std::string> last_failure;  // its text

  bool operator==(const RuntimeHost&) const = default;
};

struct RuntimeBoard {
  std::string id;
  std::uint64_t checkpoints = 0;

  bool operator==(const RuntimeBoard&) const = default;
};

// How a shell ended, when it ended by itself.
struct RuntimeEnd {
  std::string reason;  // the line it printed
  std::int64_t exit_code = 0;
  WallTime at{};
  // "stopped", "taken-over", "revoked" or "superseded"; none in a file of an older shell.
  std::optional<std::string> cause;

  bool operator==(const RuntimeEnd&) const = default;
};

// The shell's event hook, when it has one.
struct RuntimeHook {
  std::uint64_t failures = 0;  // runs that failed since the shell started
  std::optional<std::string> last_failure;

  bool operator==(const RuntimeHook&) const = default;
};

// One shell as it describes itself in `<runtime dir>/<owner stem>.json`. It never holds the link
// token: the file is readable by every user.
struct RuntimeStatus {
  std::string version;
  std::int32_t pid = 0;  // always above 0 in a decoded status
  std::string owner;
  std::optional<std::string> shell_id;
  WallTime started{};
  WallTime updated{};
  std::optional<Activity> activity;  // none before the host's first report
  std::optional<WallTime> since;     // the activity's start, by the host's clock
  Pacing pacing = Pacing::Busy;
  std::optional<WallTime> next_nudge;
  std::uint64_t nudges = 0;        // of this idle stretch
  std::uint64_t nudges_total = 0;  // since the shell started
  RuntimeHost host;
  std::optional<RuntimeBoard> board;
  std::uint64_t classes = 0;
  std::optional<RuntimeHook> hook;
  std::optional<RuntimeEnd> ended;  // set on a clean end

  bool operator==(const RuntimeStatus&) const = default;
};

// The file's text: one JSON object, pretty-printed, keys in the order above, ending in a line
// feed; `hook` and `ended.cause` are left out when they hold nothing. Text that is not valid UTF-8
// is written with U+FFFD in place of the bad bytes.
std::string encode_runtime_status(const RuntimeStatus& status);

// The status in a file's text. Unknown keys are ignored, so older readers accept newer files;
// a known key with a value of the wrong type, a missing required key, a key given twice, a pid
// not above 0 or an unknown pacing makes the text unreadable, with the reason.
Result<RuntimeStatus> decode_runtime_status(std::string_view text);

// A shell rewrites its status at least this often, so a reader can tell a hung shell by the age
// of `updated` (kelvo-fleet calls it stale after 3 minutes).
inline constexpr Millis kRuntimeHeartbeat = Millis(60 * 1000);

// Whether `current` is to be written, given what was written last (none yet: nullptr): when any
// field but `updated` differs, the last write is a heartbeat old, or the host has just failed
// for kHostFailingAfter (readers judge that by `updated`).
bool runtime_status_due(const RuntimeStatus* written, const RuntimeStatus& current);

// A shell tells its host failing once the failures have lasted this long; readers judge the same
// by the file's own clock, so one failed call is no alarm.
inline constexpr Millis kHostFailingAfter = Millis(60 * 1000);

// Whether the status says its host is failing: `updated - failing_since` has reached
// kHostFailingAfter.
bool host_failing(const RuntimeStatus& status);

// `<dir>/<owner_file_stem(owner)>.json`. The writer's temporaries end in ".tmp", which no reader
// takes for a status file.
std::filesystem::path runtime_status_path(const std::filesystem::path& dir, std::string_view owner);

// A status file is far smaller; a larger one is no status file, and is not read whole.
inline constexpr std::size_t kRuntimeStatusMaxBytes = 64 * 1024;

// Whether a file name in the runtime folder names a status file (and not a temporary).
bool is_runtime_status_file_name(std::string_view name);

}  // namespace kelvo
